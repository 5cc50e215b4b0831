#pragma once
// What this machine has: processors and memory.
#include <cstdint>

// Processors online; at least 1.
int ProcessorCount();

// Physical memory in bytes; 0 when unknown.
int64_t PhysicalMemoryBytes();
