// A memory copy whose faults turn into a false result instead of a crash.
// A fault anywhere else in the process is passed on unchanged.
#pragma once
#include <cstddef>

namespace platform {

// Copies size bytes; false when a read or a write faulted (part of the
// destination may then be written). Thread-safe; installs its fault
// handler on first use.
bool SafeCopy(void* destination, const void* source, size_t size);

// Installs the fault handler now (start-up calls it so that the first
// guarded access does not pay for it).
void InstallSafeCopyHandler();

}  // namespace platform
