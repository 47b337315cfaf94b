// The stand-in game's own code that the plug-in patches: a section of the
// executable (".vrnsite") of real x86-64 functions that the game calls on
// every frame, reading its timecycle block (the plug-in finds the block
// by the two code signatures in the section, and redirects the reads),
// storing the ped-light values, and ending in the epilogue where the
// write-list cave goes. The status tells what the game read and how many
// bytes of the section differ from the executable's file on disk.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// Fills the timecycle block (variable i holds i + 0.25) and reads the
// section's bytes from the executable file.
void StandInSitesStart(const std::wstring& exePath);
// One frame of the game's code.
void StandInSitesFrame();
// code_site_bytes_changed (bytes differing from the file, or 999999 when
// the file could not be read), read_far_clip_milli (the far clip the game
// read, x 1000), sites_frames (frames that ran the section).
void StandInSitesStatus(std::map<std::string, uint64_t>& values);
