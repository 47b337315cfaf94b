// The visualsettings.dat layout: the comment and key rules, sections, groups
// and the "Ausgeschlossen" blocks, the reader's reload by file stamp and the
// snapshot other threads read; hostile files; the real files' import,
// export and layout titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/workspace.h"
#include "support/fake_drive.h"
#include "support/testdata.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "dat_file_fixture.h"
#include "dat_samples.h"
#include "visualsettings_fixture.h"

namespace vstest {
namespace {

std::vector<std::string> Titles(const VisualSettingsLayout& layout) {
    std::vector<std::string> out;
    for (const VisualSettingsSection& s : layout) out.push_back(s.title);
    return out;
}
const VisualSettingsSection* FindSection(const VisualSettingsLayout& layout, const std::string& title) {
    for (const VisualSettingsSection& s : layout)
        if (s.title == title) return &s;
    return nullptr;
}

TEST(LayoutText, CommentRules) {
    EXPECT_EQ(CommentToSectionTitle("Config values for rim lighting"), "Rim Lighting");
    EXPECT_EQ(CommentToSectionTitle("config values for height based reflection map"), "Reflection Map");
    EXPECT_EQ(CommentToSectionTitle("Values for SSDO"), "SSDO");
    EXPECT_EQ(CommentToSectionTitle("Values for lod_lights\tand more"), "LOD Lights");
    EXPECT_TRUE(IsSectionComment("Values for SSDO"));
    EXPECT_FALSE(IsSectionComment("values for ssdo"));
    EXPECT_EQ(MakeTitleCase("values for ssdo"), "Values For SSDO");
    EXPECT_EQ(MakeTitleCase("  lodlight_fade\t\tdistance "), "LODlight Fade Distance");
    EXPECT_EQ(MakeTitleCase("\xC3\xA9t\xC3\xA9 hdr"), "\xC3\xA9t\xC3\xA9 HDR");  // bytes above 127 kept as they are
    EXPECT_TRUE(IsBoilerplateComment("Name\tValue"));
    EXPECT_TRUE(IsBoilerplateComment("MyValue.x64 x64Value"));
    EXPECT_FALSE(IsBoilerplateComment("Name  Value"));
    EXPECT_TRUE(IsVisualKeyToken("sky.sun.centreStart"));
    EXPECT_FALSE(IsVisualKeyToken(".a.b"));
    EXPECT_FALSE(IsVisualKeyToken("1.5"));
    EXPECT_FALSE(IsVisualKeyToken("a=b.c"));
    EXPECT_EQ(ParseVisualSettingsLine("  car.a.b\t1.0 x"), "car.a.b");
    EXPECT_EQ(ParseVisualSettingsLine("// car.a.b 1"), "");
    EXPECT_EQ(GroupOfKeyPrefix("car.interiorlight.day.emissive.on"), "car interiorlight");
    EXPECT_EQ(GroupOfKeyPrefix("sky.sun.centreStart"), "sky");
    EXPECT_EQ(GroupOfKeyPrefix("pedlight.x"), "Ped Light");
    EXPECT_EQ(GroupOfKeyPrefix("..."), "...");
    EXPECT_TRUE(ContainsNoCase("abc", ""));
    EXPECT_TRUE(ContainsNoCase("LODLIGHT", "lodlight"));
    EXPECT_FALSE(ContainsNoCase("ab", "abc"));
}

TEST(LayoutText, SectionsAndGroupsMergeOnlyWithTheLastOne) {
    VisualSettingsLayout layout;
    AddVisualSection(layout, "A");
    AddVisualSection(layout, "A");
    AddVisualSection(layout, "B");
    AddVisualSection(layout, "A");
    EXPECT_EQ(Titles(layout), (std::vector<std::string>{"A", "B", "A"}));
    VisualSettingsSection& s = AddVisualSection(layout, "");
    EXPECT_EQ(&AddVisualSection(layout, ""), &s);  // the empty title is the default one
    EXPECT_EQ(s.title, "Visual Settings");
    AddVisualGroup(s, "x lodlight y");
    AddVisualGroup(s, "LOD LIGHTS");
    AddVisualGroup(s, "g");
    AddVisualGroup(s, "");
    ASSERT_EQ(s.items.size(), 3u);
    EXPECT_EQ(s.items[0].title, "LOD Lights");
    EXPECT_EQ(s.items[0].warn, 1);
    EXPECT_EQ(s.items[2].title, "Visual Settings");
    EXPECT_EQ(AddVisualSection(layout, "FSR3").warn, 1);
    EXPECT_EQ(AddVisualSection(layout, "FSR3 more").warn, 0);
}

using LayoutReaderTest = DatFileTest;

TEST_F(LayoutReaderTest, SectionsGroupsAndExcludedKeys) {
    const VisualSettingsLayout layout = ReadVisualSettingsLayout(
        "# Visual Configuration Table\n"
        "misc.coronas.sizeScaleGlobal 1\n"
        "#Config values for rim lighting\r\n"
        "# sky.sun.centreStart 1\r\n"
        "# first group\r"
        "MISC.CORONAS.intensityScaleGlobal 1\r"
        "no.such.key 2\r"
        "dark.light.intensity 1\n"
        "#values for ssdo\n"
        "no.other.key 3\n");
    ASSERT_EQ(Titles(layout), (std::vector<std::string>{"Visual Settings", "Rim Lighting", "Ausgeschlossen"}));
    EXPECT_EQ(layout[0].items[0].title, "misc coronas");
    const VisualSettingsGroup& first = layout[1].items[0];
    EXPECT_EQ(first.title, "First Group");
    // The key as the editor spells it.
    EXPECT_EQ(first.items, std::vector<std::string>{"misc.coronas.intensityScaleGlobal"});
    const VisualSettingsSection& excluded = layout.back();
    EXPECT_EQ(excluded.warn, 1);
    std::vector<std::string> groups;
    for (const VisualSettingsGroup& g : excluded.items) groups.push_back(g.title);
    EXPECT_EQ(groups, (std::vector<std::string>{"Rim Lighting / First Group", "Rim Lighting / Values For SSDO"}));
    // A dark light key goes to its own group whatever the comment above it says.
    ASSERT_EQ(layout[1].items.size(), 2u);
    EXPECT_EQ(layout[1].items[1].title, "Dark Light");
}

TEST_F(LayoutReaderTest, ACommentedOutKeyBetweenAGroupCommentAndItsKeysIsNoTitle) {
    const VisualSettingsLayout layout = ReadVisualSettingsLayout(
        "# Config values for rim lighting\n# first group\n# sky.sun.centreStart 1\n//misc.coronas.intensityScaleGlobal\t2\n"
        "misc.coronas.sizeScaleGlobal 1\n");
    ASSERT_EQ(Titles(layout), std::vector<std::string>{"Rim Lighting"});
    ASSERT_EQ(layout[0].items.size(), 1u);
    EXPECT_EQ(layout[0].items[0].title, "First Group");
    EXPECT_EQ(layout[0].items[0].items, std::vector<std::string>{"misc.coronas.sizeScaleGlobal"});
}

TEST_F(LayoutReaderTest, CameraEventsTurnKnownTitlesIntoSections) {
    const VisualSettingsLayout layout = ReadVisualSettingsLayout(
        "# Puddles\nmisc.coronas.sizeScaleGlobal 1\n# Config values for Camera Events\n# Puddles\n"
        "misc.coronas.intensityScaleGlobal 1\n");
    EXPECT_EQ(Titles(layout), (std::vector<std::string>{"Visual Settings", "Puddles"}));
    EXPECT_EQ(layout[0].items[0].title, "Puddles");
}

TEST_F(LayoutReaderTest, SectionsWithoutKeysAndHostileFilesGiveAUsableLayout) {
    std::string comments;
    while (comments.size() < 14u * 1024 * 1024) comments += "# Config values for nothing at all in particular\r\n";
    std::string binary(4096, '\0');
    std::mt19937 random(17);
    for (char& c : binary) c = static_cast<char>(random());
    const std::string real = "misc.coronas.sizeScaleGlobal 1\nmisc.coronas.intensityScaleGlobal 2\n";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> titles;
    } rows[] = {
        {"sections without keys", "# Config values for a\n# Config values for b\n# group\n", {"visualsettings.dat"}},
        {"14 MiB of comments", comments, {"visualsettings.dat"}},
        {"binary", binary, {"visualsettings.dat"}},
        {"BOM", "\xEF\xBB\xBF" + real, {"Visual Settings"}},
        {"CR only", "# Config values for rim lighting\rmisc.coronas.sizeScaleGlobal 1\r", {"Rim Lighting"}},
        {"truncated", real.substr(0, real.size() - 9), {"Visual Settings", "Ausgeschlossen"}},
    };
    for (const auto& r : rows) {
        const VisualSettingsLayout layout = ReadVisualSettingsLayout(r.text);
        EXPECT_EQ(Titles(layout), r.titles) << r.what;
        PutImport(r.text);
        ImportVisualSettingsDat();
        EXPECT_EQ(StatusText(Switch.importExportStatus).rfind("Loaded ", 0), 0u) << r.what;
    }
}

TEST_F(LayoutReaderTest, ReadsAgainOnlyWhenTheFileChanges) {
    EXPECT_EQ(Titles(LoadVisualSettingsLayout()), std::vector<std::string>{"visualsettings.dat"});  // no file
    PutImport("# Config values for rim lighting\nmisc.coronas.sizeScaleGlobal 1\n");
    EXPECT_EQ(Titles(LoadVisualSettingsLayout()), std::vector<std::string>{"Rim Lighting"});
    const uint64_t reads = LayoutReader.reads;
    for (int i = 0; i < 5; ++i) LoadVisualSettingsLayout();
    EXPECT_EQ(LayoutReader.reads, reads);
    LayoutReader.reloadRequested.Set(1);
    LoadVisualSettingsLayout();
    EXPECT_EQ(LayoutReader.reads, reads + 1);
    PutImport("# Config values for bloom\nmisc.coronas.sizeScaleGlobal 1\n");  // another size
    EXPECT_EQ(Titles(LoadVisualSettingsLayout()), std::vector<std::string>{"Bloom"});
    RemoveFilesUnder(core::ImportsFolder());
    EXPECT_EQ(Titles(LoadVisualSettingsLayout()), std::vector<std::string>{"visualsettings.dat"});
}

TEST_F(LayoutReaderTest, OtherThreadsReadAnImmutableSnapshot) {
    PutImport("misc.coronas.sizeScaleGlobal 1\n");
    LoadVisualSettingsLayout();
    Row("misc.coronas.sizeScaleGlobal").overridden = 1;
    core::SharedValue<bool> stop{false};
    core::SharedValue<uint64_t> seen{0};
    std::thread fiber([&] {
        while (!stop.Get()) {
            if (AnyVisualSettingsGroupEdited()) seen.FetchAdd(1);
        }
    });
    // Rebuilds on the render thread meanwhile, on until the other thread has
    // read a layout (on a busy machine it may start late).
    for (int i = 0; i < 200 || (seen.Get() == 0 && i < 1000000); ++i) {
        LayoutReader.reloadRequested.Set(1);
        LoadVisualSettingsLayout();
    }
    stop.Set(true);
    fiber.join();
    EXPECT_GT(seen.Get(), 0u);
    EXPECT_TRUE(LayoutSnapshot() != nullptr);
}

// ---- The real files ----

class RealDatTest : public LayoutReaderTest {};

// An oracle of its own for the key lines: what a reader of the format counts.
uint64_t KeyLines(const std::string& text) {
    uint64_t n = 0;
    ForEachDatLine(text, [&](std::string_view line) {
        const size_t cut = line.find("//");
        const std::string_view body = cut == std::string_view::npos ? line : line.substr(0, cut);
        size_t p = body.find_first_not_of(" \t");
        if (p == std::string_view::npos || body[p] == '#') return;
        const size_t end = body.find_first_of(" \t", p);
        if (end == std::string_view::npos) return;
        const size_t value = body.find_first_not_of(" \t", end);
        if (value == std::string_view::npos) return;
        const char c = body[value];
        if ((c >= '0' && c <= '9') || c == '-' || c == '.' || c == '+') ++n;
    });
    return n;
}

// An oracle of its own for the lines the layout takes as keys: a first
// token of letters, digits, '.', '_' and '-' with a dot and a letter.
std::vector<std::string> KeyTokens(const std::string& text) {
    std::vector<std::string> out;
    ForEachDatLine(text, [&](std::string_view line) {
        const size_t p = line.find_first_not_of(" \t\v\f");
        if (p == std::string_view::npos || line[p] == '#' || line.substr(p, 2) == "//") return;
        const std::string_view token = line.substr(p, line.find_first_of(" \t\v\f", p) - p);
        bool dot = false, letter = false, other = false;
        for (char c : token) {
            if (std::isalpha(static_cast<unsigned char>(c))) letter = true;
            else if (c == '.') dot = true;
            else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '_' && c != '-') other = true;
        }
        if (dot && letter && !other && token.front() != '.') out.emplace_back(token);
    });
    return out;
}

// The real files and a partial one: what follows from each file itself.
TEST_F(RealDatTest, ImportCountsExportByteForByteAndLayoutKeys) {
    BindVisualSettingsParams();
    InitVisualSettingsDefaults();
    std::set<std::string> rowKeys;  // lower case: an imported key matches ignoring case
    for (const VisualSettingsParam& row : AllParams()) rowKeys.insert(LowerAscii(row.key));
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) rowKeys.insert(LowerAscii(DarkFilmicSlot(i).name));
    for (const DatSample& sample : DatSamples()) {
        SCOPED_TRACE(sample.name);
        const std::string& text = sample.text;
        PutImport(text);
        ImportVisualSettingsDat();
        EXPECT_EQ(DatImport.last.parsed, KeyLines(text));
        uint64_t hidden = 0, unknown = 0;
        std::vector<std::string> keys;  // the rows' keys in file order, once each
        ForEachDatLine(text, [&](std::string_view line) {
            std::string key;
            float v = 0.0f;
            if (!ParseImportLine(line, key, v)) return;
            if (IsVetoedKey(key.c_str())) ++hidden;
            else if (!rowKeys.contains(LowerAscii(key))) ++unknown;
            else if (std::find(keys.begin(), keys.end(), LowerAscii(key)) == keys.end()) keys.push_back(LowerAscii(key));
        });
        EXPECT_EQ(DatImport.last.unknown, unknown);
        EXPECT_EQ(DatImport.last.applied, DatImport.last.parsed - unknown - hidden);
        EXPECT_EQ(StatusText(Switch.importExportStatus).rfind("Loaded ", 0), 0u);
        // Unedited: the same bytes.
        ExportVisualSettingsDat();
        EXPECT_EQ(GetFile(ExportVisualSettingsPath()), text);
        // Three of its rows edited: only their lines change.
        std::vector<VisualSettingsParam*> edited;
        for (VisualSettingsParam& row : AllParams()) {
            if (edited.size() < 3 && std::find(keys.begin(), keys.end(), LowerAscii(row.key)) != keys.end())
                edited.push_back(&row);
        }
        ASSERT_EQ(edited.size(), 3u);
        for (VisualSettingsParam* row : edited) {
            row->value = row->value + 1.25f;
            ApplyVisualSettingRow(*row);
            row->overridden = 1;
        }
        ExportVisualSettingsDat();
        const std::string out = GetFile(ExportVisualSettingsPath());
        std::vector<std::string> before, after;
        ForEachDatLine(text, [&](std::string_view l) { before.emplace_back(l); });
        ForEachDatLine(out, [&](std::string_view l) { after.emplace_back(l); });
        ASSERT_EQ(before.size(), after.size());
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i] == after[i]) continue;
            ++changed;
            const std::string key = LowerAscii(ParseVisualSettingsLine(before[i]));
            bool isEdited = false;
            for (const VisualSettingsParam* row : edited) isEdited = isEdited || key == LowerAscii(row->key);
            EXPECT_TRUE(isEdited) << before[i] << " -> " << after[i];
        }
        EXPECT_GE(changed, 3u);
        for (VisualSettingsParam* row : edited) WriteVisualSettingRow(*row);
        // The layout: every key line once, those the editor knows in its
        // sections as the editor spells them, the others in "Ausgeschlossen".
        const VisualSettingsLayout layout = ReadVisualSettingsLayout(text);
        std::vector<std::string> shown, excluded;
        for (const VisualSettingsSection& s : layout)
            for (const VisualSettingsGroup& g : s.items)
                for (const std::string& key : g.items) (s.title == "Ausgeschlossen" ? excluded : shown).push_back(key);
        std::vector<std::string> known, unmapped;
        for (const std::string& token : KeyTokens(text)) {
            const bool mapped = rowKeys.contains(LowerAscii(token)) && !IsVetoedKey(token.c_str());
            (mapped ? known : unmapped).push_back(LowerAscii(token));
        }
        std::vector<std::string> shownLower;
        for (const std::string& key : shown) shownLower.push_back(LowerAscii(key));
        std::sort(shownLower.begin(), shownLower.end());
        std::sort(known.begin(), known.end());
        EXPECT_EQ(shownLower, known);
        EXPECT_EQ(excluded.size(), unmapped.size());
        for (const std::string& key : shown) {
            bool own = FindVisualSettingsParam(key.c_str()) != nullptr;
            for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) own = own || key == DarkFilmicSlot(i).name;
            EXPECT_TRUE(own) << key << ": not spelled as the editor spells it";
        }
        // Titles from the file's own comments; a file without any: its keys' groups alone.
        if (text.find('#') == std::string::npos && text.find("//") == std::string::npos) {
            for (const VisualSettingsSection& s : layout) EXPECT_TRUE(s.title == "Visual Settings" || s.title == "Ausgeschlossen") << s.title;
        }
        if (text.find("#Values to use with height based reflection map") != std::string::npos) {
            EXPECT_NE(FindSection(layout, "Reflection Map"), nullptr);
        }
        if (text.find("// Rim lighting\n") != std::string::npos) {  // a section or group, of known keys or unknown ones
            bool titled = false;
            for (const VisualSettingsSection& s : layout) {
                titled = titled || s.title == "Rim Lighting";
                for (const VisualSettingsGroup& g : s.items) titled = titled || g.title.find("Rim Lighting") != std::string::npos;
            }
            EXPECT_TRUE(titled);
        }
    }
}

}  // namespace
}  // namespace vstest
