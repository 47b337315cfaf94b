// Byte patterns that the layers above the runtime look for in the game's
// code, searched in the start-up pass that the runtime's own image searches
// share (signature_pass.h), so that they cost no pass of their own. Each is
// one attempt per run under the unique-match rule: the answer is the address
// of the only match, kept for the run; no match, or a second one, is
// remembered as a failure (the game's code does not change while it runs).
//
// Thread rule: registration and the searches run under
// Locators.SignaturePassMutex; answers are read by any thread.
#pragma once
#include <cstdint>

#include "runtime/cached_search.h"

namespace runtime {

struct SharedImageSearch {
    const uint8_t* bytes = nullptr;
    const char* mask = nullptr;  // NUL-terminated; 'x' = must match; its length is the pattern's
    CachedSearch result;         // one attempt per run
};

// Joins the pass: the search's storage lives for the run (a static). A
// search registered before the first pass costs nothing more; one
// registered later runs a pass of its own at its first question. A second
// registration of the same search changes nothing.
void RegisterSharedImageSearch(SharedImageSearch& search);
// The address of the pattern's only match in the game image, or 0;
// registers the search when it is not yet and runs the pass while it is
// pending.
uint64_t SharedImageSearchHit(SharedImageSearch& search);

}  // namespace runtime
