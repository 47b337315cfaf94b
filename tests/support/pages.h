// Pages of one allocation of the test process, each with its own protection
// and filled with 0x11 before it is protected (the memory seam and guarded
// access tests, native and under Wine).
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "platform/memory.h"

namespace testsupport {

struct Pages {
    uint64_t base = 0;
    size_t page = platform::GetSystemMemoryInfo().pageSize;
    explicit Pages(std::initializer_list<uint32_t> protections) {
        base = platform::AllocateAnywhere(page * protections.size(), platform::kPageReadWrite);
        std::memset(reinterpret_cast<void*>(base), 0x11, page * protections.size());
        size_t i = 0;
        for (uint32_t p : protections) Protect(i++, p);
    }
    ~Pages() { platform::FreeMemory(base); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
    uint64_t At(size_t index, size_t offset = 0) const { return base + index * page + offset; }
    void Protect(size_t index, uint32_t protect) const {
        uint32_t old = 0;
        EXPECT_TRUE(platform::ChangeProtection(At(index), page, protect, &old)) << index;
    }
    uint32_t ProtectionOf(size_t index) const {
        platform::MemoryRegion r;
        EXPECT_TRUE(platform::QueryMemoryRegion(At(index), r));
        return r.protect;
    }
    uint32_t U32(size_t index, size_t offset) const {
        uint32_t v;
        std::memcpy(&v, reinterpret_cast<const void*>(At(index, offset)), 4);
        return v;
    }
};

}  // namespace testsupport
