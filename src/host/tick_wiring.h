// How the tick reaches the subsystems: the editor's entry table
// (runtime/editor_entries.h), which the runtime, the editors and the host
// fill with the functions each owns, once at process start.
#pragma once

namespace host {

// Has every layer fill its entries of runtime::Entries() (the tick does this
// at process start; a second call changes nothing).
void WireEditorEntries();

// Forgets the store sites the scanline and lens-distortion probes found
// (tests; a new game image).
void ForgetTickStoreProbes();

}  // namespace host
