// The code a synthetic game image holds for the code patches: every
// instruction the redirects look for, as a small function that runs it and
// hands back what it read; every pattern of the probes, the live writes and
// the masked redirects, with the loads the probes check addressing their
// fields, the stores inside the SecondaryBlock's window after its lea; the
// light rays' and the heat haze's and night vision's windows; the puddle
// store. The functions follow the System V calling convention (the tests
// that call them run on Linux x86-64).
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/patch_tables.h"
#include "support/synthetic_image.h"

namespace testsupport {

struct SyntheticGame {
    uint64_t timecycleBlock = 0;
    uint64_t engineBlock = 0;
    // Per redirect record (AllRedirectRecords order): the function that
    // runs its instruction, and the instruction.
    std::vector<uint64_t> readers;
    std::vector<uint64_t> instructions;
    // Per code pattern (CodePatternId order): where it was planted.
    std::vector<uint64_t> patterns;
    uint64_t pedGlobals[3] = {};     // what the ped-light stores write
    uint64_t manualGlobals[4] = {};  // what the manual live writes' stores write
    uint64_t heatHazeStores[6] = {}; // 576, 624, 592, 608, 640, 656
    uint64_t nightVisionStores[4] = {};  // 412, 428, 444, 452
};

// Plants everything into a fresh image (the image's timecycle block and
// engine block with it).
SyntheticGame PlantSyntheticGame(SyntheticImage& image);

// Calls a reader: out receives what the instruction read (a load: the
// destination register's 16 bytes; mulss: 1.0 times the field in out[0];
// ucomiss: out[0] = 1 when out[0]'s float equals the field, else 0;
// insertps: the register's 16 bytes).
void CallReader(uint64_t function, uint32_t out[4]);
// Plants a reader of one record's instruction reading target.
uint64_t PlantReader(SyntheticImage& image, const runtime::RedirectRecordRow& record, uint64_t target,
                     uint64_t* instruction = nullptr);
// How many floats a record's instruction reads (1, 2 or 4).
size_t LanesRead(const runtime::RedirectRecordRow& record);

// A pattern's bytes with its wildcards zero.
std::vector<uint8_t> PatternBytesOf(runtime::CodePatternId id);

}  // namespace testsupport
