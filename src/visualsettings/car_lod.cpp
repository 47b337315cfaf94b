#include "visualsettings/car_lod.h"

#include <bit>
#include <cstring>

#include "runtime/guarded_memory.h"

namespace visualsettings {

CarLodState CarLod;

namespace {

constexpr uint32_t kHighDefaultBits = 0x42200000u;  // 40.0
constexpr uint32_t kLowDefaultBits = 0x43340000u;   // 180.0

bool Finite(uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

bool Fail(const char* state) {
    CarLod.high.Set(0);
    CarLod.low.Set(0);
    CarLod.found.Exchange(0);
    SetStatus(CarLod.status, std::string(state) + ".");
    return false;
}

uint64_t AddressOf(const char* key) {
    return std::strcmp(key, kCarLodHighKey) == 0 ? CarLod.high.Get() : CarLod.low.Get();
}

}  // namespace

bool IsCarLodKey(const char* key) {
    return key != nullptr && (std::strcmp(key, kCarLodHighKey) == 0 || std::strcmp(key, kCarLodLowKey) == 0);
}

void PublishCarLodAddresses(uint64_t high, uint64_t low) {
    CarLod.high.Set(high);
    CarLod.low.Set(low);
    CarLod.found.Exchange(1);
}

bool CarLodReadiness() {
    if (CarLod.found.Get() == 0) return Fail("PENDING");
    const uint64_t high = CarLod.high.Get();
    const uint64_t low = CarLod.low.Get();
    uint32_t highBits = 0, lowBits = 0;
    const bool usable = high != 0 && low == high + 8;
    const bool read = usable && runtime::GuardedReadU32(high, highBits) && runtime::GuardedReadU32(low, lowBits);
    if (!read || !Finite(highBits) || !Finite(lowBits)) return Fail("ADDR_UNAVAILABLE");
    const bool defaults = highBits == kHighDefaultBits && lowBits == kLowDefaultBits;
    SetStatus(CarLod.status, defaults ? "READY_DEFAULT." : "READY_CURRENT.");
    return true;
}

uint64_t CarLodDistanceAddress(const char* key) {
    if (!IsCarLodKey(key) || !CarLodReadiness()) return 0;
    return AddressOf(key);
}

bool ReadCarLodDistance(const char* key, float& value) {
    const uint64_t address = CarLodDistanceAddress(key);
    uint32_t bits = 0;
    if (address == 0 || !runtime::SafeReadU32(address, bits)) return false;
    value = std::bit_cast<float>(bits);
    return true;
}

bool WriteCarLodDistance(const char* key, float value) {
    const uint64_t address = CarLodDistanceAddress(key);
    return address != 0 && runtime::SafeWriteFloat(address, value);
}

void ResetCarLodForTesting() {
    CarLod.high.Set(0);
    CarLod.low.Set(0);
    CarLod.found.Set(0);
    ResetStatus(CarLod.status);
}

}  // namespace visualsettings
