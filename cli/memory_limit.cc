#include "cli/memory_limit.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mesh {

bool ParseMemorySize(const std::string& text, uint64_t* bytes, std::string* error) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double number = std::strtod(begin, &end);
  std::string unit(end);
  if (end == begin || !std::isfinite(number) || number < 0 || text[0] == ' ') {
    *error = "expected a size such as 2G, 512M or 0 (no limit), not '" + text + "'";
    return false;
  }
  double scale = 1;
  if (!unit.empty()) {
    const std::string powers = "KMGT";
    const size_t power = powers.find(static_cast<char>(std::toupper(unit[0])));
    const std::string rest = unit.substr(1);
    if (power == std::string::npos || !(rest.empty() || rest == "B" || rest == "iB")) {
      *error = "unknown unit '" + unit + "' in '" + text + "' (use K, M, G or T)";
      return false;
    }
    scale = std::pow(1024.0, static_cast<double>(power + 1));
  }
  const double value = number * scale;
  if (value >= 1.8e19) {
    *error = "'" + text + "' is more than any machine has";
    return false;
  }
  *bytes = static_cast<uint64_t>(value);
  return true;
}

uint64_t DefaultMemoryLimit(uint64_t physical_bytes, size_t jobs) {
  if (physical_bytes == 0 || jobs == 0) return 0;
  return static_cast<uint64_t>(static_cast<double>(physical_bytes) * 0.8 /
                               static_cast<double>(jobs));
}

uint64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

std::string DescribeMemorySize(uint64_t bytes) {
  if (bytes == 0) return "no limit";
  const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof units / sizeof *units) {
    value /= 1024;
    ++unit;
  }
  char text[48];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace mesh
