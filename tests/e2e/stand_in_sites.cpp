#include "stand_in_sites.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
// The game's block of current timecycle values.
alignas(64) float vrn_timecycle_block[768];
// What the ped-light stores write, and a scratch line the epilogue clears.
alignas(16) float vrn_ped_globals[4];
alignas(16) unsigned char vrn_scratch[16];
// What the reads gave: far clip, LOD mult, sun colour green and blue.
alignas(16) float vrn_reads[4];

void vrn_read_timecycle(float* out);
void vrn_store_ped_light();
void vrn_write_list_epilogue();
}

// The section. The loads read the timecycle block through rip-relative
// operands in the forms the plug-in's redirects and probes look for; the
// two signatures that locate the block are never called.
asm(R"(
    .section .vrnsite,"xr"
    .intel_syntax noprefix
    .balign 16
vrn_signature_a:
    movsd xmm1, QWORD PTR [rip + vrn_timecycle_block + 1188]
    shufps xmm1, xmm1, 0xE1
    movq rax, xmm1
    ret
    .balign 16
vrn_signature_b:
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 1188]
    .byte 0xEB, 0x08
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 1188]
    .byte 0x88, 0xC1
    movss xmm8, DWORD PTR [rip + vrn_timecycle_block + 1188]
    .byte 0x75, 0x00
    mulss xmm8, DWORD PTR [rip + vrn_timecycle_block + 1192]
    ret

    .balign 16
    .globl vrn_read_timecycle
vrn_read_timecycle:
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 1576]
    movss DWORD PTR [rcx], xmm0
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 1656]
    movss DWORD PTR [rcx + 4], xmm0
    movsd xmm2, QWORD PTR [rip + vrn_timecycle_block + 952]
    movsd QWORD PTR [rcx + 8], xmm2
    ret

    .balign 16
    .globl vrn_store_ped_light
vrn_store_ped_light:
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 160]
    movsd xmm1, QWORD PTR [rip + vrn_timecycle_block + 152]
    movsd QWORD PTR [rip + vrn_ped_globals], xmm1
    movss DWORD PTR [rip + vrn_ped_globals + 8], xmm0
    movss xmm0, DWORD PTR [rip + vrn_timecycle_block + 164]
    movss DWORD PTR [rip + vrn_ped_globals + 12], xmm0
    ret

    .balign 16
    .globl vrn_write_list_epilogue
vrn_write_list_epilogue:
    sub rsp, 0x378
    movaps XMMWORD PTR [rsp + 0x340], xmm6
    movaps XMMWORD PTR [rsp + 0x350], xmm7
    movaps XMMWORD PTR [rsp + 0x360], xmm8
    lea r9, [rip + vrn_scratch]
    .byte 0x0F, 0x57, 0xC0, 0x41, 0x0F, 0x29, 0x01, 0xB0, 0x01
    .byte 0x0F, 0x28, 0xB4, 0x24, 0x40, 0x03, 0x00, 0x00
    .byte 0x0F, 0x28, 0xBC, 0x24, 0x50, 0x03, 0x00, 0x00
    .byte 0x44, 0x0F, 0x28, 0x84, 0x24, 0x60, 0x03, 0x00, 0x00
    add rsp, 0x378
    ret
    .att_syntax prefix
    .text
)");

namespace {

struct Section {
    const unsigned char* memory = nullptr;
    std::vector<unsigned char> file;  // its bytes in the executable file
    bool read = false;
    uint64_t frames = 0;
};
Section g_section;

}  // namespace

void StandInSitesStart(const std::wstring& exePath) {
    for (int i = 0; i < 768; ++i) vrn_timecycle_block[i] = static_cast<float>(i) + 0.25f;
    const auto base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::memcmp(section->Name, ".vrnsite", 8) != 0) continue;
        g_section.memory = base + section->VirtualAddress;
        const DWORD size = section->Misc.VirtualSize < section->SizeOfRawData ? section->Misc.VirtualSize
                                                                              : section->SizeOfRawData;
        g_section.file.resize(size);
        FILE* file = _wfopen(exePath.c_str(), L"rb");
        if (file == nullptr) return;
        g_section.read = std::fseek(file, static_cast<long>(section->PointerToRawData), SEEK_SET) == 0 &&
                         std::fread(g_section.file.data(), 1, size, file) == size;
        std::fclose(file);
    }
}

void StandInSitesFrame() {
    vrn_read_timecycle(vrn_reads);
    vrn_store_ped_light();
    vrn_write_list_epilogue();
    ++g_section.frames;
}

void StandInSitesStatus(std::map<std::string, uint64_t>& values) {
    uint64_t changed = 0;
    if (!g_section.read || g_section.memory == nullptr) changed = 999999;
    else
        for (size_t i = 0; i < g_section.file.size(); ++i) changed += g_section.memory[i] != g_section.file[i];
    values["code_site_bytes_changed"] = changed;
    values["read_far_clip_milli"] = static_cast<uint64_t>(vrn_reads[0] * 1000.0f + 0.5f);
    values["sites_frames"] = g_section.frames;
}
