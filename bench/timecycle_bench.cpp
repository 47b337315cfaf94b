// The timecycle editor's two heavy operations:
// - "Load .xml" plus "Export .xml" of a real timecycle file (about 125 kB):
//   read, scan of both regions, the edit store filled, the load preview's
//   26 record writes into an already located keyframe table, and the
//   spliced export written back. Target: under 2 ms per file.
// - The keyframe-table scan over 1 GiB of private read-write memory, with
//   the table at its far end, so every byte is walked. The counters give the
//   stall of one synchronous scan and the slice a frame would need to scan
//   it in 2 ms steps.
// - Load, recognition rows and export of a hostile file of 1 and 4 MiB
//   (every variable's tag opened, "<" padding, then closed) and export with
//   every one of the 11,154 values edited: throughput, and the time against
//   memchr over the same bytes in the same run (each is one linear pass).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "core/workspace.h"
#include "platform/memory.h"
#include "platform/simulated.h"
#include "support/testdata.h"
#include "support/timecycle_gen.h"
#include "timecycle/edit_store.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_xml.h"

namespace {

namespace fs = std::filesystem;

// A fake drive with the workspace under C:\Users\Player\Documents\VRN.
class BenchDrive {
public:
    BenchDrive() {
        char pattern[] = "/tmp/varnel-bench-XXXXXX";
        root_ = mkdtemp(pattern);
        platform::sim::ResetFiles();
        platform::sim::SetFakeDriveRoot(root_);
        fs::create_directories(root_ + "/C/Users/Player/Documents/VRN/Imports/Timecycles");
        fs::create_directories(root_ + "/C/Games/GTA5");
        platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::string("C:\\Users\\Player\\Documents\\"));
        platform::sim::SetExecutablePath("C:\\Games\\GTA5\\GTA5_Enhanced.exe");
        platform::sim::SetOwnModulePath("C:\\Games\\GTA5\\Varnel.asi");
        core::ResetWorkspaceState();
    }
    ~BenchDrive() {
        platform::sim::ResetFiles();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void PutImport(const std::string& name, const std::string& content) const {
        std::ofstream out(root_ + "/C/Users/Player/Documents/VRN/Imports/Timecycles/" + name, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

private:
    std::string root_;
};

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void LoadAndExport(benchmark::State& state, bool withEdits) {
    const std::vector<std::string> files = testsupport::RealFiles("timecycle");
    std::string file;
    for (const std::string& f : files)
        if (f.find("w_clear.xml") != std::string::npos) file = f;
    if (file.empty() && !files.empty()) file = files.front();
    if (file.empty()) {
        state.SkipWithError("no real timecycle files");
        return;
    }
    int weather = -1;
    for (uint32_t w = 0; w < timecycle::kWeatherCount; ++w)
        if (file.size() >= timecycle::WeatherTimecycleFileName(w).size() &&
            file.compare(file.size() - timecycle::WeatherTimecycleFileName(w).size(), std::string::npos,
                         timecycle::WeatherTimecycleFileName(w)) == 0)
            weather = static_cast<int>(w);
    if (weather < 0) {
        state.SkipWithError("real file without a weather file name");
        return;
    }
    BenchDrive drive;
    const std::string source = ReadHostFile(file);
    drive.PutImport(timecycle::WeatherTimecycleFileName(static_cast<uint32_t>(weather)), source);

    // A located keyframe table: the preview writes its 26 records, as in the
    // game once the first scan has found the table.
    timecycle::ResetEditStoreForTesting();
    timecycle::ResetKeyframeTable();
    const uint64_t table = platform::AllocateAnywhere(testsupport::kGeneratedKeyframeTableBytes, platform::kPageReadWrite);
    testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(table));
    const uint64_t block = table + timecycle::WeatherNameTable[weather].typeId * timecycle::kWeatherBlockSpacing;
    timecycle::KeyframeTable.WeatherBlockTable[static_cast<size_t>(weather)] = block;
    timecycle::KeyframeTable.AcceptedBlocks[static_cast<size_t>(weather)] = block;

    std::string message;
    const size_t row = static_cast<size_t>(timecycle::FindVariableRow("far_clip"));
    for (auto _ : state) {
        timecycle::LoadTimecycleXml(weather);
        if (withEdits) {
            for (int k = 0; k < 13; k += 3) {
                timecycle::EditEntry& e = timecycle::GetEditSlot(weather, k % 2, k).entries[row];
                e.value += 1.5f;
                e.edited = 1;
                e.editStamp = timecycle::NextEditStamp();
            }
        }
        timecycle::SaveTimecycleXml(weather, message);
    }
    if (timecycle::TimecycleXml.TimecycleStatusLine.rfind("Loaded ", 0) != 0 || message.rfind("Exported ", 0) != 0)
        state.SkipWithError((timecycle::TimecycleXml.TimecycleStatusLine + " / " + message).c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    state.counters["file_bytes"] = static_cast<double>(source.size());
    platform::FreeMemory(table);
    timecycle::ResetKeyframeTable();
    timecycle::ResetEditStoreForTesting();
}

void BM_TimecycleLoadAndExportRealFile(benchmark::State& state) { LoadAndExport(state, false); }
void BM_TimecycleLoadEditAndExportRealFile(benchmark::State& state) { LoadAndExport(state, true); }

void BM_KeyframeTableScan1GiB(benchmark::State& state) {
    constexpr uint64_t kRegionBytes = 1ull << 30;
    BenchDrive drive;
    testsupport::TimecycleFileOptions options;
    options.weather = 1;
    drive.PutImport("w_clear.xml", testsupport::MakeTimecycleXml(options));

    const uint64_t memory = platform::AllocateAnywhere(kRegionBytes, platform::kPageReadWrite);
    if (memory == 0) {
        state.SkipWithError("no 1 GiB mapping");
        return;
    }
    // Game-like content: runs of zeros, small floats and half values, noise.
    std::mt19937_64 random(7);
    uint64_t* words = reinterpret_cast<uint64_t*>(memory);
    for (uint64_t i = 0; i < kRegionBytes / 8; ++i) words[i] = (i & 0x3FF) < 256 ? 0 : random();
    // The table at the far end of the region: the whole gigabyte is walked.
    const uint64_t tableBase = memory + kRegionBytes - testsupport::kGeneratedKeyframeTableBytes - 4096;
    testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(tableBase));
    const uint64_t expected = tableBase + timecycle::WeatherNameTable[1].typeId * timecycle::kWeatherBlockSpacing;

    timecycle::ResetEditStoreForTesting();
    uint64_t scanned = 0;
    double elapsed = 0;
    for (auto _ : state) {
        timecycle::ResetKeyframeTable();
        const auto start = std::chrono::steady_clock::now();
        const uint64_t found = timecycle::ScanTimecycleTable(1);
        elapsed += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (found != expected) {
            state.SkipWithError("table not found");
            break;
        }
        scanned += timecycle::KeyframeTable.LastScanStats.bytesScanned;
    }
    const double perScanBytes = static_cast<double>(scanned) / static_cast<double>(state.iterations());
    const double bytesPerSecond = static_cast<double>(scanned) / elapsed;
    state.SetBytesProcessed(static_cast<int64_t>(scanned));
    state.counters["scanned_MiB"] = perScanBytes / (1 << 20);
    state.counters["GB_per_s"] = bytesPerSecond / 1e9;
    state.counters["stall_ms_per_GiB"] = 1000.0 * static_cast<double>(kRegionBytes) / bytesPerSecond;
    state.counters["MiB_per_2ms_slice"] = bytesPerSecond * 0.002 / (1 << 20);
    state.counters["frames_per_GiB_2ms"] = static_cast<double>(kRegionBytes) / (bytesPerSecond * 0.002);
    // The search as the load preview runs it: one slice a frame.
    state.counters["slices"] = static_cast<double>(timecycle::KeyframeTable.LastScanStats.slices);
    state.counters["ms_per_slice"] = 1000.0 * elapsed / static_cast<double>(state.iterations()) /
                                     static_cast<double>(timecycle::KeyframeTable.LastScanStats.slices);
    platform::FreeMemory(memory);
    timecycle::ResetKeyframeTable();
}

// Time of one memchr over text (a byte it does not hold), the yardstick
// of a linear pass over the same bytes.
double MemchrSeconds(const std::string& text) {
    constexpr int kRounds = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        const void* hit = std::memchr(text.data(), '\x01', text.size());
        benchmark::DoNotOptimize(hit);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kRounds;
}

void ReportLinear(benchmark::State& state, const std::string& text, double seconds) {
    const double perIteration = seconds / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
    state.counters["x_memchr"] = perIteration / MemchrSeconds(text);
}

// Every value of both regions of the weather edited.
void EditEverything(int weather) {
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 13; ++k) {
            for (timecycle::EditEntry& e : timecycle::GetEditSlot(weather, r, k).entries) {
                e.value += 0.5f;
                e.present = e.originalCaptured = e.edited = 1;
                e.imported = 0;
                e.editStamp = timecycle::NextEditStamp();
            }
        }
    }
}

template <typename Operation>
double Timed(benchmark::State& state, Operation operation) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        operation();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return seconds;
}

void BM_TimecycleLoadHostile(benchmark::State& state) {
    BenchDrive drive;
    const std::string text = testsupport::HostileTimecycleXml(static_cast<size_t>(state.range(0)));
    drive.PutImport("w_clear.xml", text);
    timecycle::ResetEditStoreForTesting();
    const double seconds = Timed(state, [] { timecycle::LoadTimecycleXml(1); });
    if (timecycle::TimecycleXml.TimecycleStatusLine.rfind("Load .xml failed: w_clear.xml holds no timecycle values.", 0) != 0)
        state.SkipWithError(timecycle::TimecycleXml.TimecycleStatusLine.c_str());
    ReportLinear(state, text, seconds);
}

void BM_TimecycleRecognitionRowsHostile(benchmark::State& state) {
    BenchDrive drive;
    const std::string text = testsupport::HostileTimecycleXml(static_cast<size_t>(state.range(0)));
    drive.PutImport("w_clear.xml", text);
    std::vector<timecycle::TimecycleRowRecord> rows;
    const double seconds = Timed(state, [&] {
        rows.clear();
        timecycle::ReadOriginalXmlRows(rows, 1, 2);
    });
    if (!rows.empty()) state.SkipWithError("rows from a file without values");
    ReportLinear(state, text, seconds);
}

// Export with all 11,154 values edited, from a valid source (every value
// spliced) or from the hostile one (every element looked at, none written).
void ExportEveryValueEdited(benchmark::State& state, bool hostile) {
    BenchDrive drive;
    testsupport::TimecycleFileOptions options;
    options.weather = 1;
    drive.PutImport("w_clear.xml", testsupport::MakeTimecycleXml(options));
    timecycle::ResetEditStoreForTesting();
    timecycle::ResetKeyframeTable();
    timecycle::LoadTimecycleXml(1);
    timecycle::CancelTimecyclePreview();
    EditEverything(1);
    const std::string source =
        hostile ? testsupport::HostileTimecycleXml(static_cast<size_t>(state.range(0))) : testsupport::MakeTimecycleXml(options);
    drive.PutImport("w_clear.xml", source);
    std::string message;
    const double seconds = Timed(state, [&] { timecycle::SaveTimecycleXml(1, message); });
    const std::string expected = hostile ? "Exported w_clear.xml. Some edits were not written." : "Exported w_clear.xml.";
    if (message != expected) state.SkipWithError(message.c_str());
    state.counters["edits"] = 429.0 * 26.0;
    ReportLinear(state, source, seconds);
    timecycle::ResetEditStoreForTesting();
}

void BM_TimecycleExportEveryValueEdited(benchmark::State& state) { ExportEveryValueEdited(state, false); }
void BM_TimecycleExportEveryValueEditedHostile(benchmark::State& state) { ExportEveryValueEdited(state, true); }

BENCHMARK(BM_TimecycleLoadAndExportRealFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimecycleLoadEditAndExportRealFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyframeTableScan1GiB)->Unit(benchmark::kMillisecond)->Iterations(3);
// 1 MiB and 4 MiB: a linear pass takes four times as long, not sixteen.
BENCHMARK(BM_TimecycleLoadHostile)->Unit(benchmark::kMillisecond)->Arg(1 << 20)->Arg(4 << 20);
BENCHMARK(BM_TimecycleRecognitionRowsHostile)->Unit(benchmark::kMillisecond)->Arg(1 << 20)->Arg(4 << 20);
BENCHMARK(BM_TimecycleExportEveryValueEdited)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimecycleExportEveryValueEditedHostile)->Unit(benchmark::kMillisecond)->Arg(1 << 20)->Arg(4 << 20);

}  // namespace
