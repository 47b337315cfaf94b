// Seeds of the carcols.ymt target: binary files laid out as the game's
// resource (1, 6, 14 and 21 records, the entry at odd places) and hostile
// ones (truncated, ids out of order, lengths that are no whole records).
// Usage: carcols_fuzz_seeds <folder>
#include <cstdio>
#include <fstream>
#include <string>

#include "support/siren_game.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    using testsupport::CarcolsLayout;
    int n = 0;
    auto put = [&](const std::string& bytes) {
        std::ofstream out(std::string(argv[1]) + "/carcols_" + std::to_string(n++) + ".ymt", std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    };
    bool ok = true;
    for (uint32_t records : {1u, 6u, 14u, 21u}) {
        CarcolsLayout layout;
        layout.records = records;
        ok = put(testsupport::MakeCarcolsYmt(layout)) && ok;
        layout.entryOffset = 131;
        layout.dataOffset = 1001;
        ok = put(testsupport::MakeCarcolsYmt(layout)) && ok;
    }
    CarcolsLayout swapped;
    swapped.swapIds = 2;
    ok = put(testsupport::MakeCarcolsYmt(swapped)) && ok;
    CarcolsLayout odd;
    odd.lengthOverride = 2376 * 3 + 1;
    ok = put(testsupport::MakeCarcolsYmt(odd)) && ok;
    ok = put(testsupport::MakeCarcolsYmt({}).substr(0, 5000)) && ok;
    return ok ? 0 : 1;
}
