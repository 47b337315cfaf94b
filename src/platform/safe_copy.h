// A memory copy, and a run of code, whose faults turn into a false result
// instead of a crash. A fault anywhere else in the process is passed on
// unchanged.
#pragma once
#include <cstddef>

namespace platform {

// Copies size bytes; false when a read or a write faulted (part of the
// destination may then be written). Thread-safe; installs its fault
// handler on first use.
bool SafeCopy(void* destination, const void* source, size_t size);

// Runs body(context) with a fault anywhere in it turned into a false
// result: the run then ends at the faulting instruction and body does not
// go on. Meant for reading memory in place (a scan over another module's
// memory), so body must be ready to be cut off at any read: no lock held,
// no allocation, nothing to undo beyond what its caller can drop. Runs may
// nest; each thread has its own. True when body returned.
bool GuardedRun(void (*body)(void* context), void* context);

// Installs the fault handler now (start-up calls it so that the first
// guarded access does not pay for it).
void InstallSafeCopyHandler();

}  // namespace platform
