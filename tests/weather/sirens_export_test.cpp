// The carcols.ymt export: binary files laid out as the game's resource
// (magic "PSIN", the siren settings' structure-map entry, 2,376-byte
// records), patched with the live siren edits; exactly the edited fields
// change and every other byte stays. Hostile files are refused with their
// message and nothing written; real files go through the same round trip.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core_fixture.h"
#include "runtime/region_walk.h"
#include "support/siren_game.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_export.h"
#include "weather/sirens_state.h"

namespace {

using namespace weather;
using testsupport::CarcolsLayout;
using testsupport::MakeCarcolsYmt;

constexpr size_t kField_timeMultiplier = 0;
constexpr size_t kField_sequencerBpm = 6;
constexpr size_t kField_useRealLights = 15;
constexpr size_t kLight_color = 17;
constexpr size_t kLight_scaleFactor = 20;
constexpr size_t kLight_scale = 21;
constexpr size_t kLight_rotate = 22;

class SirensExportTest : public coretest::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(memory_.ok());
        PlantGame();
    }
    // The game's siren block as it is before any edit, found, with no
    // baseline taken.
    void PlantGame() {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        const std::vector<uint64_t> names = testsupport::PlantSirenNames(memory_.at(0));
        testsupport::PlantSirenBlock(memory_.at(4096), names);
        Sirens.SirenBlockAddress = memory_.base() + 4096;
    }
    void TearDown() override {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        CoreTest::TearDown();
    }
    static std::string Import() { return InVrn("Imports\\Misc\\carcols.ymt"); }
    static std::string Export() { return InVrn("Exports\\Misc\\carcols.ymt"); }
    // Exports and gives the status; the exported file (empty when none) in *out.
    std::string Run(bool expectWritten, std::string* out = nullptr) {
        std::string status;
        EXPECT_EQ(ExportCarcolsYmt(status), expectWritten) << status;
        if (out != nullptr) *out = Exists(Export()) ? GetFile(Export()) : std::string();
        return status;
    }
    static std::vector<size_t> Differences(const std::string& a, const std::string& b) {
        std::vector<size_t> at;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (a[i] != b[i]) at.push_back(i);
        return at;
    }

    testsupport::SirenMemory memory_{64u << 10};
};

constexpr uint64_t kD = 256;
uint64_t RecordAt(uint64_t record) { return kD + record * kCarcolsRecordBytes; }

TEST_F(SirensExportTest, EditedFieldsAreWrittenBigEndianAndNothingElse) {
    const std::string source = MakeCarcolsYmt({});
    PutFile(Import(), source);
    std::string status;
    // Profile 0 is record 1, 1 is 2, 3 is 4, 12 is 13.
    ASSERT_TRUE(ApplySirenValue(1, kField_timeMultiplier, std::bit_cast<uint32_t>(1.0f), status));
    ASSERT_TRUE(ApplySirenValue(12, kField_sequencerBpm, 0x01020304u, status));
    ASSERT_TRUE(ApplySirenValue(12, kField_useRealLights, 0, status));
    ASSERT_TRUE(ApplySirenLightValue(0, 0, kLight_scale, 0, status));
    ASSERT_TRUE(ApplySirenLightValue(0, 1, kLight_scale, 0, status));
    ASSERT_TRUE(ApplySirenLightValue(3, 19, kLight_color, 0xAABBCCDDu, status));
    ASSERT_TRUE(ApplySirenLightValue(3, 2, kLight_scaleFactor, 9, status));
    ASSERT_TRUE(ApplySirenLightValue(3, 2, kLight_rotate, 1, status));
    std::string out;
    EXPECT_EQ(Run(true, &out), "Exported carcols.ymt.");
    ASSERT_EQ(out.size(), source.size());
    const uint64_t r1 = RecordAt(1), r2 = RecordAt(2), r13 = RecordAt(13), r4 = RecordAt(4);
    EXPECT_EQ(testsupport::BigEndianAt(out, r2 + 24), 0x3F800000u);  // 3F 80 00 00
    EXPECT_EQ(testsupport::BigEndianAt(out, r13 + 52), 0x01020304u);
    EXPECT_EQ(out[r13 + 124], 0);
    EXPECT_EQ(out[r1 + 128 + 106], 0);  // scale of the first light
    EXPECT_EQ(out[r1 + 240 + 106], 0);  // and of the second
    EXPECT_EQ(testsupport::BigEndianAt(out, r4 + 128 + 19 * 112 + 96), 0xAABBCCDDu);
    EXPECT_EQ(out[r4 + 128 + 2 * 112 + 107], 9);  // scaleFactor and rotate lie reversed
    EXPECT_EQ(out[r4 + 128 + 2 * 112 + 105], 1);
    // Every byte that differs belongs to one of the edited fields.
    std::vector<size_t> allowed;
    for (uint64_t i = 0; i < 4; ++i) {
        allowed.push_back(r2 + 24 + i);
        allowed.push_back(r13 + 52 + i);
        allowed.push_back(r4 + 128 + 19 * 112 + 96 + i);
    }
    for (uint64_t at : {r13 + 124, r1 + 128 + 106, r1 + 240 + 106, r4 + 128 + 2 * 112 + 107, r4 + 128 + 2 * 112 + 105})
        allowed.push_back(at);
    for (size_t at : Differences(source, out))
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), at), allowed.end()) << "byte " << at << " changed";
    // The import copy is only read.
    EXPECT_EQ(GetFile(Import()), source);
}

TEST_F(SirensExportTest, AnExportFolderRemovedSinceIsMadeAgain) {
    PutFile(Import(), MakeCarcolsYmt({}));
    std::string status;
    ASSERT_TRUE(ApplySirenValue(1, kField_timeMultiplier, std::bit_cast<uint32_t>(1.0f), status));
    EXPECT_EQ(Run(true), "Exported carcols.ymt.");
    std::filesystem::remove_all(Host(InVrn("Exports")));  // the folder getter made it, and makes it once
    std::string out;
    EXPECT_EQ(Run(true, &out), "Exported carcols.ymt.");
    EXPECT_EQ(testsupport::BigEndianAt(out, RecordAt(2) + 24), 0x3F800000u);
}

TEST_F(SirensExportTest, EditsBackAtTheBaselineAreNothingToExport) {
    PutFile(Import(), MakeCarcolsYmt({}));
    std::string status;
    EXPECT_EQ(Run(false), "Nothing to export.");  // no baseline
    ASSERT_TRUE(ApplySirenValue(0, kField_sequencerBpm, 1, status));
    ASSERT_TRUE(ResetSirenValue(0, kField_sequencerBpm, status));
    EXPECT_EQ(Run(false), "Nothing to export.");
    EXPECT_FALSE(Exists(Export()));
}

TEST_F(SirensExportTest, WhileBeforeIsShownTheSavedEditsAreExported) {
    const std::string source = MakeCarcolsYmt({});
    PutFile(Import(), source);
    std::string status;
    ASSERT_TRUE(ApplySirenValue(0, kField_sequencerBpm, 0x11223344u, status));
    ASSERT_TRUE(ShowSirensBefore(status));
    std::string out;
    EXPECT_EQ(Run(true, &out), "Exported carcols.ymt.");
    EXPECT_EQ(testsupport::BigEndianAt(out, RecordAt(1) + 52), 0x11223344u);
}

TEST_F(SirensExportTest, ProfilesWithoutARecordStopTheExport) {
    struct Case {
        size_t profile;
        uint32_t records;
    };
    // Profiles 2, 10, 11, 13..20 have no record; a file of records 0..5
    // has none for profile 5 (record 6) and above.
    const Case cases[] = {{2, 14}, {10, 14}, {11, 14}, {13, 14}, {20, 14}, {5, 6}, {12, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        ForgetSirenEdits();
        RemoveFilesUnder(InVrn("Exports\\"));
        CarcolsLayout layout;
        layout.records = c.records;
        PutFile(Import(), MakeCarcolsYmt(layout));
        std::string status;
        ASSERT_TRUE(ApplySirenValue(0, kField_sequencerBpm, 77, status));  // one that could be written
        ASSERT_TRUE(ApplySirenValue(c.profile, kField_sequencerBpm, 78, status));
        EXPECT_EQ(Run(false), "Export stopped: this edited siren profile is not in carcols.ymt.");
        EXPECT_FALSE(Exists(Export()));
        ASSERT_TRUE(ResetSirenProfile(c.profile, status));
        ASSERT_TRUE(ResetSirenProfile(0, status));
    }
}

// Files whose structure does not match are refused, writing nothing, and
// an earlier export stays as it was.
TEST_F(SirensExportTest, HostileFilesAreRefusedAndNothingIsWritten) {
    std::string status;
    ASSERT_TRUE(ApplySirenValue(1, kField_sequencerBpm, 5, status));
    PutFile(Export(), "an earlier export");
    struct Case {
        const char* what;
        std::string file;
    };
    std::vector<Case> cases;
    auto layout = [](auto change) {
        CarcolsLayout s;
        change(s);
        return MakeCarcolsYmt(s);
    };
    cases.push_back({"other magic", "RSC7" + MakeCarcolsYmt({}).substr(4)});
    cases.push_back({"too short", std::string("PSIN\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 19)});
    cases.push_back({"no siren entry", layout([](CarcolsLayout& s) { s.hash = 0x12345678; })});
    cases.push_back({"truncated", MakeCarcolsYmt({}).substr(0, kD + 13 * kCarcolsRecordBytes)});
    cases.push_back({"length not whole records", layout([](CarcolsLayout& s) { s.lengthOverride = 14 * 2376 + 8; })});
    cases.push_back({"zero length", layout([](CarcolsLayout& s) { s.lengthOverride = 0; })});
    cases.push_back({"22 records", layout([](CarcolsLayout& s) { s.records = 22; })});
    cases.push_back({"data past the end", layout([](CarcolsLayout& s) { s.offsetOverride = 1u << 20; })});
    // D + L and the id positions wrap in 32 bits onto bytes that would pass:
    // 0xFFFFFFFC + 8 is 4, + 2,376 + 8 is 2,380.
    {
        CarcolsLayout s;
        s.records = 2;
        s.offsetOverride = 0xFFFFFFFC;
        std::string wraps = MakeCarcolsYmt(s);
        wraps[4] = 0;
        wraps[2380] = 1;
        cases.push_back({"offset that wraps 32 bits", wraps});
    }
    cases.push_back({"ids out of order", layout([](CarcolsLayout& s) { s.swapIds = 3; })});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutFile(Import(), c.file);
        EXPECT_EQ(Run(false), "This carcols.ymt layout is not supported.");
        EXPECT_EQ(GetFile(Export()), "an earlier export");
    }
    // An empty or missing import.
    PutFile(Import(), "");
    EXPECT_EQ(Run(false), "Put carcols.ymt into Imports\\Misc first.");
    RemoveFilesUnder(InVrn("Imports\\"));
    EXPECT_EQ(Run(false), "Put carcols.ymt into Imports\\Misc first.");
    EXPECT_EQ(GetFile(Export()), "an earlier export");
}

TEST_F(SirensExportTest, FilesOver64MiBAreRefused) {
    std::string status;
    ASSERT_TRUE(ApplySirenValue(1, kField_sequencerBpm, 5, status));
    std::string big = MakeCarcolsYmt({});
    big.resize((64u << 20) + 1, '\0');
    PutFile(Import(), big);
    EXPECT_EQ(Run(false), "Export stopped: carcols.ymt is larger than 64 MiB.");
    EXPECT_FALSE(Exists(Export()));
}

TEST_F(SirensExportTest, TheEntryIsFoundAnywhereAfterAFalseOne) {
    // A first entry with the hash whose ids do not run in order, then the good one.
    CarcolsLayout layout;
    layout.entryOffset = 131;  // not aligned
    std::string file = MakeCarcolsYmt(layout);
    const uint8_t bad[16] = {0x84, 0xEB, 0x9B, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x09, 0x48};  // D 0, one record
    std::memcpy(file.data() + 40, bad, 16);
    file[8] = 5;  // record 0 at D = 0 would need id 0
    CarcolsSirenData data;
    ASSERT_TRUE(FindCarcolsSirenData(file, data));
    EXPECT_EQ(data.offset, 256u);
    EXPECT_EQ(data.records, 14u);
}

TEST_F(SirensExportTest, WithoutALiveBlockTheExportIsUnavailable) {
    std::string status;
    ASSERT_TRUE(ApplySirenValue(1, kField_sequencerBpm, 5, status));
    Sirens.SirenBlockAddress = 0;
    EXPECT_EQ(Run(false), "Export unavailable: load Vehicle Sirens first.");
}

// Real files: a binary one round-trips (no edit changes no byte, an edit
// changes only its field); any other is refused, writing nothing.
TEST_F(SirensExportTest, RealFilesRoundTrip) {
    const std::vector<std::string> files = testsupport::RealFiles("carcols");
    VARNEL_SKIP_IF_EMPTY(files, "carcols");
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const std::string source = ReadHostFile(path);
        CarcolsSirenData data;
        const bool binary = FindCarcolsSirenData(source, data);
        std::vector<uint8_t> baseline(kSirenBlockBytes, 0x5A);
        std::vector<uint8_t> edited = baseline;
        std::string same = source;
        EXPECT_EQ(PatchCarcolsSirens(same, data, edited.data(), baseline.data()).written, 0u);
        EXPECT_EQ(same, source);
        PlantGame();  // each file's edit starts from the game's own block
        RemoveFilesUnder(InVrn("Exports\\"));
        PutFile(Import(), source);
        std::string status;
        ASSERT_TRUE(ApplySirenValue(0, kField_sequencerBpm, 0xCAFEF00Du, status));
        std::string out;
        if (!binary) {
            EXPECT_EQ(Run(false, &out), "This carcols.ymt layout is not supported.");
            EXPECT_FALSE(Exists(Export()));
            continue;
        }
        if (data.records < 2) continue;
        EXPECT_EQ(Run(true, &out), "Exported carcols.ymt.");
        for (size_t at : Differences(source, out)) EXPECT_LT(at - (data.offset + kCarcolsRecordBytes + 52), 4u);
    }
}

}  // namespace
