// The stand-in game's vehicle siren settings: one block of 21 profiles of
// 1,512 bytes in a private region of its heap, as the game keeps them. A
// profile starts with a pointer to its name (the names lie in the same
// region, after the block), then the values of its 72-byte head and of its
// 20 lights of 72 bytes. The status tells which bytes of the block differ
// from what the game put there.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// Fills the block.
void StandInSirensStart();
// siren_block (1 when the block is in place), siren_bytes_changed (bytes of
// the block that differ from the game's), siren_changed_first and
// siren_changed_last (the block offsets of the first and the last of them;
// 0 when none differs), siren_time_multiplier_milli (timeMultiplier of
// profile 12, 12 bytes into it, x 1000).
void StandInSirensStatus(std::map<std::string, uint64_t>& values);
