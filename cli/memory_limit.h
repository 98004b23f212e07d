// meshctl's --max-memory: a size as people write it ("2G", "512M", bytes),
// and the default that keeps a pool of workers inside the machine's memory.
#ifndef MESH_WORKER_CLI_MEMORY_LIMIT_H_
#define MESH_WORKER_CLI_MEMORY_LIMIT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace mesh {

// "0" (no limit), a whole number of bytes, or a number with one of the
// suffixes K, M, G, T (powers of 1024; a trailing "iB" or "B" is allowed),
// e.g. "1.5G". False, with the reason in `*error`, for anything else.
bool ParseMemorySize(const std::string& text, uint64_t* bytes, std::string* error);

// Each of `jobs` workers gets an equal share of 80 % of `physical_bytes`,
// leaving the rest to the system and the parent. 0 when nothing is known.
uint64_t DefaultMemoryLimit(uint64_t physical_bytes, size_t jobs);

// The machine's physical memory in bytes; 0 when it cannot be told.
uint64_t PhysicalMemoryBytes();

// "1.5 GiB".
std::string DescribeMemorySize(uint64_t bytes);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_MEMORY_LIMIT_H_
