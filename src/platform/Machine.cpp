#include "platform/Machine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/FilePtr.h"

int ProcessorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<int>(count) : 1;
}

int64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
}

int64_t FreeMemoryBytes() {
  FilePtr meminfo(std::fopen("/proc/meminfo", "rb"));
  if (!meminfo) return 0;
  static constexpr std::string_view kCounted[] = {"MemFree:", "Buffers:", "Cached:", "SwapCached:"};
  int64_t kilobytes = 0;
  char line[256];
  while (std::fgets(line, sizeof line, meminfo.get())) {
    const std::string_view text(line);
    for (std::string_view name : kCounted)
      if (text.starts_with(name)) kilobytes += std::atoll(line + name.size());
  }
  return kilobytes * 1024;
}
