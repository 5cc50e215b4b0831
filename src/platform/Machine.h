#pragma once
// What this machine has: processors and memory.
#include <cstdint>

// Processors online; at least 1.
int ProcessorCount();

// Physical memory in bytes; 0 when unknown.
int64_t PhysicalMemoryBytes();

// Memory free now, in bytes, counted as GNU parallel counts it before it starts a job
// (free, buffers and caches); 0 when unknown.
int64_t FreeMemoryBytes();
