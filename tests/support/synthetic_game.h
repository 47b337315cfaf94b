// The code a synthetic game image holds for the code patches: every
// instruction the redirects look for, as a small function that runs it and
// hands back what it read; every pattern of the probes, the live writes and
// the masked redirects, with the loads the probes check addressing their
// fields, the stores inside the SecondaryBlock's window after its lea; the
// light rays' and the heat haze's and night vision's windows; the puddle
// store; a load planted across two 16-byte blocks and a game thread that
// runs it while the editor rewrites it. The functions follow the System V
// calling convention (the tests that call them run on Linux x86-64).
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/code_patch.h"
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

// Plants a function whose first instruction is a load of shape (prefixes,
// 0F 10 and a ModRM of rip + disp32) reading target, placed so that its
// disp32 runs across two 16-byte blocks: the first displacement byte ends
// one block, the instruction begins before it in the same block. The
// function stores the float read to [rdi] and returns; it is the load (0
// for a shape too short to be a load).
uint64_t PlantLoadAcrossBlocks(SyntheticImage& image, const std::vector<uint8_t>& shape, uint64_t target);

// Whether the bytes a captured patch changes lie in more than one 16-byte
// block (the writer then holds the instruction instead of storing them at
// once).
bool ChangesAcrossBlocks(const runtime::CodePatch& patch);

// A game thread running a reader while the editor rewrites it: the thread
// calls function (as CallReader does, under the fault guard) over and over,
// from before the first rewrite until the last; the caller's thread runs
// rewrite at least rounds times, and on until the thread has made rounds
// calls since the first rewrite began. Every call is to read before or
// after (as out[0]'s float).
struct CallsDuringRewrites {
    uint64_t calls = 0;       // since the first rewrite began (fewer than rounds: the thread stalled)
    uint64_t unexpected = 0;  // calls that faulted or read another value
};
CallsDuringRewrites CallWhileRewriting(uint64_t function, float before, float after, int rounds,
                                       const std::function<void()>& rewrite);

// A pattern's bytes with its wildcards zero.
std::vector<uint8_t> PatternBytesOf(runtime::CodePatternId id);

}  // namespace testsupport
