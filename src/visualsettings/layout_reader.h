// The layout of the user's visualsettings.dat: the Visualsettings tab shows
// the keys in the order, sections and groups of the file in the Imports
// folder, with titles from its comment lines. The reader keeps only keys and
// titles (the import reads the values). Every key of the layout is spelled
// as the editor's own row or slot spells it (a file key matches ignoring
// case, as the import matches it); keys the editor cannot write are gathered
// in the last section, "Ausgeschlossen".
//
// The reader runs every frame: it reads the file again only when its path,
// existence, write time or size changed, or a reload was requested.
//
// Thread rule: only the render thread reads the file and rebuilds the
// layout (LoadVisualSettingsLayout). Each rebuild publishes a new immutable
// layout; other threads (the script fiber's all-live hotkey) take the last
// published one with LayoutSnapshot and never see a layout being built.
// reloadRequested is an atomic any thread may set.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/shared_value.h"
#include "platform/file_stamp.h"
#include "visualsettings/sections.h"

namespace visualsettings {

// The reader's state; the thread rule above.
struct LayoutReaderState {
    core::SharedValue<uint8_t> reloadRequested{0};  // the next call reads the file again
    // ---- render thread ----
    std::string path;           // the path of the last read
    platform::FileStamp stamp;  // its stamp then
    bool loadedOnce = false;
    uint64_t reads = 0;  // file reads (tests)
    // ---- published ----
    mutable std::mutex publishMutex;
    std::shared_ptr<const VisualSettingsLayout> current;
    // The layout the edited test (script fiber) is reading, kept alive until its next call.
    std::shared_ptr<const VisualSettingsLayout> heldForEditedTest;
};
extern LayoutReaderState LayoutReader;

// Render thread: the layout of the Imports folder's visualsettings.dat,
// re-read when the file changed; a missing or unreadable file gives the
// placeholder section "visualsettings.dat". The reference stays valid until
// the next call on this thread.
const VisualSettingsLayout& LoadVisualSettingsLayout();
// Any thread: the last layout the render thread published (empty before
// the first read).
std::shared_ptr<const VisualSettingsLayout> LayoutSnapshot();
// Hands LayoutSnapshot to the before/after logic's edited test.
void RegisterLayoutReader();

// The layout of a text (the file's bytes), built as the reader builds it;
// an empty result is never returned (the placeholder stands in).
VisualSettingsLayout ReadVisualSettingsLayout(std::string_view text);

// ---- Text rules ----------------------------------------------------------------
// The text without leading and trailing white space (a view into it).
std::string_view TrimSpaces(std::string_view text);
bool IsBoilerplateComment(std::string_view comment);
bool IsSectionComment(std::string_view comment);
std::string CommentToSectionTitle(std::string_view comment);
std::string MakeTitleCase(std::string_view text);
// The key of a line, or "" when it holds none.
std::string ParseVisualSettingsLine(std::string_view line);
bool IsVisualKeyToken(std::string_view token);
std::string GroupOfKeyPrefix(std::string_view key);
bool IsLodLightsTitle(std::string_view text);
bool IsLodLightsGroupTitle(std::string_view text);
// needle occurs in haystack ignoring ASCII case; an empty needle: true.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// ---- Sections, groups and blocks ---------------------------------------------
// The last section when its title equals title (empty: "Visual Settings"),
// else a new last one.
VisualSettingsSection& AddVisualSection(VisualSettingsLayout& layout, std::string_view title);
// The last group when its title equals title (empty: the section's title;
// LOD-lights titles become "LOD Lights"), else a new last one.
VisualSettingsGroup& AddVisualGroup(VisualSettingsSection& section, std::string_view title);
// Keys the editor cannot write move to the section "Ausgeschlossen" (last);
// groups and sections left empty go; kept keys take the editor's spelling
// (LiveMappedKey).
void BuildVisualBlocks(VisualSettingsLayout& layout);

// Back to the start of the run (tests).
void ResetLayoutReaderForTesting();

}  // namespace visualsettings
