#include "sim_world.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace testsupport {
namespace {

// Argument codes: i integer or handle, b boolean (0 or 1), f float, s string
// address; exact constants: 0, 1, 2 integers, z float 0.0, R float 1000.0.
// Result codes: - none, i integer, b boolean, f float, v vector.
struct NativeRow {
    uint64_t hash;
    const char* role;
    const char* args;
    char result;
};

// Written from the game's interface, independently of the editor's own
// constants, so that a mistyped hash in the editor is caught here.
constexpr NativeRow kRows[] = {
    {0xD80958FC74E988A6, "player ped", "", 'i'},
    {0x4F8644AF03D0E0D6, "player index", "", 'i'},
    {0x8D32347D6D4C40A2, "player control", "ib0", '-'},
    {0x5F4B6931816E599B, "game controls off this frame", "0", '-'},
    {0x3FEF770D40960D5A, "entity position", "i1", 'v'},
    {0x7239B21A38F536BA, "entity exists", "i", 'b'},
    {0x997ABD671D25CA0B, "ped in a vehicle", "i0", 'b'},
    {0x9A9112A0FE9A4713, "ped's vehicle", "i0", 'i'},
    {0x428CA6DBD1094446, "entity frozen", "ib", '-'},
    {0x06843DA7060A026B, "entity placed (preset teleport)", "ifff0001", '-'},
    {0x239A3351AC1DA385, "entity placed (location teleport)", "ifff000", '-'},
    {0x1C99BB7B6E96D16F, "entity velocity", "ifff", '-'},
    {0x07503F7948F491A7, "world loaded around a point", "fff", 'i'},
    {0xF4F2C0D4EE209E20, "no idle camera this frame", "", '-'},
    {0x95E3D6257B166CF2, "pedestrian suppression 1", "z", '-'},
    {0x7A556143A1C03898, "pedestrian suppression 2", "zz", '-'},
    {0x8C95333CFC3340F3, "pedestrian suppression 3", "0", '-'},
    {0xBE31FD6CE464AC59, "pedestrians cleared around a point", "fffR1", '-'},
    {0x245A6883D966D537, "vehicle suppression 1", "z", '-'},
    {0xB3B3359379FE77D3, "vehicle suppression 2", "z", '-'},
    {0xEAE6DCC7EEE3DB1D, "vehicle suppression 3", "z", '-'},
    {0xCB9E1EB3BE2AF4E9, "vehicle suppression 4", "0", '-'},
    {0x2AFD795EEAC8D30D, "vehicle switch A", "b", '-'},
    {0x80D9F74197EA47D9, "vehicle switch B", "b", '-'},
    {0x01C7B9B38428AEB6, "vehicles cleared around a point", "fffR00000", '-'},
    {0x1268615ACE24D504, "blackout", "b", '-'},
    {0xA6294919E56FF02A, "HUD shown", "b", '-'},
    {0xA0EBB943C300E693, "radar shown", "b", '-'},
    {0x719FF505F097FD20, "HUD hidden this frame", "", '-'},
    {0x25223CA6B4D20B7F, "clock hours", "", 'i'},
    {0x13D2B8ADD79640F2, "clock minutes", "", 'i'},
    {0x494E97C2EF27C470, "clock seconds", "", 'i'},
    {0x4055E40BD2DBEC1D, "clock paused", "b", '-'},
    {0x47C3B5848C3E45D8, "clock set", "iii", '-'},
    {0xE679E3E06E363892, "clock set again", "iii", '-'},
    {0xCCC39339BEF76CF5, "weather change step 1", "", '-'},
    {0x338D2E3477711050, "weather change step 2", "", '-'},
    {0xED712CA327900C8A, "weather change step 3", "s", '-'},
    {0x29B487C359E19889, "weather change step 4", "s", '-'},
    {0xA43D5C6FE51ADBEF, "weather change step 5", "s", '-'},
    {0x15C40837039FFAF7, "frame time", "", 'f'},
    {0x11E65974A982637C, "look axis", "0i", 'f'},
    {0x14D6F5678D8F1B37, "gameplay camera position", "", 'v'},
    {0x837765A25378F0BB, "gameplay camera rotation", "2", 'v'},
    {0x65019750A0324133, "gameplay camera field of view", "", 'f'},
    {0xB51194800B257161, "camera created", "sffffzff12", 'i'},
    {0xA7A932170592B50E, "camera exists", "i", 'b'},
    {0x026FB97D0A425F84, "camera active", "ib", '-'},
    {0x07E5B515DB0636FC, "scripted cameras rendered", "b0011", '-'},
    {0x865908C81A2C22E9, "camera destroyed", "i1", '-'},
    {0x4D41783FB745E42E, "camera position", "ifff", '-'},
    {0x85973643155D0B07, "camera rotation", "ifzf2", '-'},
    {0xB13C14F66A00D047, "camera field of view", "if", '-'},
    {0x0F07E7745A236711, "timecycle modifier cleared", "", '-'},
    {0x2C933ABF17A1DF41, "timecycle modifier set", "s", '-'},
    {0x82E7FFCD5B2326B3, "timecycle modifier strength", "f", '-'},
    {0xFDF3D97C674AFB66, "timecycle modifier index", "", 'i'},
};

constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

const std::array<uint64_t, kRowCount>& HashList() {
    static const std::array<uint64_t, kRowCount> hashes = [] {
        std::array<uint64_t, kRowCount> h{};
        for (size_t i = 0; i < kRowCount; ++i) h[i] = kRows[i].hash;
        return h;
    }();
    return hashes;
}

const NativeRow* FindRow(uint64_t hash) {
    for (const NativeRow& row : kRows)
        if (row.hash == hash) return &row;
    return nullptr;
}

std::string HexText(uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
}

void Fault(SimWorld& world, const NativeRow& row, const std::string& what) {
    world.faults.push_back(HexText(row.hash) + " (" + row.role + "): " + what);
}

int32_t Int(uint64_t word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }
float Flt(uint64_t word) { return std::bit_cast<float>(static_cast<uint32_t>(word)); }

// What is wrong with one argument word for its code, or null.
const char* WordProblem(char code, uint64_t word) {
    if (code == 's') return word == 0 ? "null string" : nullptr;
    if ((word >> 32) != 0) return "high half not zero";
    switch (code) {
    case 'b': return word > 1 ? "not a boolean" : nullptr;
    case 'f': return std::isfinite(Flt(word)) ? nullptr : "not a finite float";
    case '0':
    case '1':
    case '2': return word != static_cast<uint64_t>(code - '0') ? "not the constant" : nullptr;
    case 'z': return word != 0 ? "expected 0.0" : nullptr;
    case 'R': return word != 0x447A0000u ? "expected 1000.0" : nullptr;
    default: return nullptr;
    }
}

// Checks the argument words against the row; false when the call is malformed.
bool CheckArgs(SimWorld& world, const NativeRow& row, const uint64_t* args, size_t count) {
    const size_t want = std::strlen(row.args);
    if (count != want) {
        Fault(world, row, "takes " + std::to_string(want) + " words, got " + std::to_string(count));
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < count; ++i) {
        if (const char* problem = WordProblem(row.args[i], args[i])) {
            Fault(world, row, "word " + std::to_string(i) + " = " + HexText(args[i]) + ": " + problem);
            ok = false;
        }
    }
    return ok;
}

void PutInt(uint64_t* result, int32_t value) { result[0] = static_cast<uint32_t>(value); }
void PutFloat(uint64_t* result, float value) { result[0] = std::bit_cast<uint32_t>(value); }
void PutVec(uint64_t* result, SimVec v) {
    result[0] = std::bit_cast<uint32_t>(v.x);
    result[1] = std::bit_cast<uint32_t>(v.y);
    result[2] = std::bit_cast<uint32_t>(v.z);
}

SimEntity* Entity(SimWorld& world, int32_t handle) {
    if (handle == 0) return nullptr;
    auto it = world.entities.find(handle);
    return it == world.entities.end() ? nullptr : &it->second;
}

SimVec Vec(const uint64_t* args) { return {Flt(args[0]), Flt(args[1]), Flt(args[2])}; }

std::string Text(uint64_t word) {
    const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(word));
    size_t length = 0;
    while (length < 256 && text[length] != '\0') ++length;
    return std::string(text, length);
}

void Apply(SimWorld& world, const NativeRow& row, const uint64_t* a, uint64_t* result) {
    switch (row.hash) {
    case 0xD80958FC74E988A6: PutInt(result, world.playerPed); break;
    case 0x4F8644AF03D0E0D6: PutInt(result, world.playerIndex); break;
    case 0x8D32347D6D4C40A2:
        if (Int(a[0]) != world.playerIndex) Fault(world, row, "not the player index");
        world.playerControl = a[1] != 0;
        break;
    case 0x5F4B6931816E599B: break;
    case 0x3FEF770D40960D5A:
        if (SimEntity* e = Entity(world, Int(a[0]))) PutVec(result, e->position);
        break;
    case 0x7239B21A38F536BA: PutInt(result, Entity(world, Int(a[0])) ? 1 : 0); break;
    case 0x997ABD671D25CA0B: {
        const SimEntity* e = Entity(world, Int(a[0]));
        PutInt(result, e && e->vehicle != 0 ? 1 : 0);
        break;
    }
    case 0x9A9112A0FE9A4713: {
        const SimEntity* e = Entity(world, Int(a[0]));
        PutInt(result, e ? e->vehicle : 0);
        break;
    }
    case 0x428CA6DBD1094446:
        if (SimEntity* e = Entity(world, Int(a[0]))) e->frozen = a[1] != 0;
        else Fault(world, row, "entity does not exist");
        break;
    case 0x06843DA7060A026B:
    case 0x239A3351AC1DA385:
        if (SimEntity* e = Entity(world, Int(a[0]))) e->position = Vec(a + 1);
        else Fault(world, row, "entity does not exist");
        break;
    case 0x1C99BB7B6E96D16F:
        if (SimEntity* e = Entity(world, Int(a[0]))) e->velocity = Vec(a + 1);
        else Fault(world, row, "entity does not exist");
        break;
    case 0x2AFD795EEAC8D30D: world.vehicleSwitchA = a[0] != 0; break;
    case 0x80D9F74197EA47D9: world.vehicleSwitchB = a[0] != 0; break;
    case 0x1268615ACE24D504: world.blackout = a[0] != 0; break;
    case 0xA6294919E56FF02A: world.hudVisible = a[0] != 0; break;
    case 0x25223CA6B4D20B7F: PutInt(result, world.clockHours); break;
    case 0x13D2B8ADD79640F2: PutInt(result, world.clockMinutes); break;
    case 0x494E97C2EF27C470: PutInt(result, world.clockSeconds); break;
    case 0x4055E40BD2DBEC1D: world.clockPaused = a[0] != 0; break;
    case 0x47C3B5848C3E45D8:
    case 0xE679E3E06E363892: {
        const int32_t h = Int(a[0]), m = Int(a[1]), s = Int(a[2]);
        if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) {
            Fault(world, row, "time out of range");
            break;
        }
        if (row.hash == 0xE679E3E06E363892) {
            const bool follows = world.lastHash == 0x47C3B5848C3E45D8 && world.lastArgs.size() == 3 &&
                                 std::equal(world.lastArgs.begin(), world.lastArgs.end(), a);
            if (!follows) Fault(world, row, "not right after the first clock set with the same time");
        } else {
            ++world.clockSets;
        }
        world.clockHours = h;
        world.clockMinutes = m;
        world.clockSeconds = s;
        break;
    }
    case 0xCCC39339BEF76CF5: world.weatherStep = 1; break;
    case 0x338D2E3477711050:
        world.weatherStep = world.weatherStep == 1 ? 2 : 0;
        if (world.weatherStep != 2) Fault(world, row, "out of order");
        break;
    case 0xED712CA327900C8A:
    case 0x29B487C359E19889:
    case 0xA43D5C6FE51ADBEF: {
        const int step = row.hash == 0xED712CA327900C8A ? 3 : row.hash == 0x29B487C359E19889 ? 4 : 5;
        const std::string name = Text(a[0]);
        if (world.weatherStep != step - 1 || (step > 3 && name != world.weatherPending)) {
            Fault(world, row, "out of order or another weather");
            world.weatherStep = 0;
            break;
        }
        world.weatherPending = name;
        world.weatherStep = step;
        if (step == 5) {
            world.weather = name;
            ++world.weatherChanges;
            world.weatherStep = 0;
        }
        break;
    }
    case 0x15C40837039FFAF7: PutFloat(result, world.frameTime); break;
    case 0x11E65974A982637C: {
        const int32_t axis = Int(a[1]);
        if (axis != 1 && axis != 2) Fault(world, row, "axis not 1 or 2");
        else PutFloat(result, world.lookAxis[axis]);
        break;
    }
    case 0x14D6F5678D8F1B37: PutVec(result, world.gameplayCamPosition); break;
    case 0x837765A25378F0BB: PutVec(result, world.gameplayCamRotation); break;
    case 0x65019750A0324133: PutFloat(result, world.gameplayCamFov); break;
    case 0xB51194800B257161: {
        if (Text(a[0]) != "DEFAULT_SCRIPTED_CAMERA") Fault(world, row, "unknown camera name");
        if (world.failCameraCreation) break;
        const int32_t handle = world.nextCamera++;
        SimCamera& cam = world.cameras[handle];
        cam.position = Vec(a + 1);
        cam.rotation = {Flt(a[4]), Flt(a[5]), Flt(a[6])};
        cam.fov = Flt(a[7]);
        PutInt(result, handle);
        break;
    }
    case 0xA7A932170592B50E: PutInt(result, world.cameras.count(Int(a[0])) ? 1 : 0); break;
    case 0x026FB97D0A425F84:
    case 0x865908C81A2C22E9:
    case 0x4D41783FB745E42E:
    case 0x85973643155D0B07:
    case 0xB13C14F66A00D047: {
        auto it = world.cameras.find(Int(a[0]));
        if (it == world.cameras.end()) {
            Fault(world, row, "camera does not exist");
            break;
        }
        SimCamera& cam = it->second;
        if (row.hash == 0x026FB97D0A425F84) cam.active = a[1] != 0;
        else if (row.hash == 0x865908C81A2C22E9) world.cameras.erase(it);
        else if (row.hash == 0x4D41783FB745E42E) cam.position = Vec(a + 1);
        else if (row.hash == 0x85973643155D0B07) cam.rotation = {Flt(a[1]), Flt(a[2]), Flt(a[3])};
        else cam.fov = Flt(a[1]);
        break;
    }
    case 0x07E5B515DB0636FC: world.renderingScriptCams = a[0] != 0; break;
    case 0x0F07E7745A236711:
        world.modifier.clear();
        world.modifierIndex = -1;
        break;
    case 0x2C933ABF17A1DF41:
        world.modifier = Text(a[0]);
        world.modifierIndex = 1;
        break;
    case 0xFDF3D97C674AFB66: PutInt(result, world.modifierIndex); break;
    default: break;  // per-frame switches: counted only
    }
}

}  // namespace

bool HandleSimNative(SimWorld& world, uint64_t hash, const uint64_t* args, size_t count, uint64_t* result) {
    const NativeRow* row = FindRow(hash);
    if (!row) {
        world.unknownHashes.push_back(hash);
        return false;
    }
    if (CheckArgs(world, *row, args, count)) Apply(world, *row, args, result);
    world.lastHash = hash;
    world.lastArgs.assign(args, args + count);
    return true;
}

std::span<const uint64_t> SimNativeHashes() { return {HashList().data(), HashList().size()}; }

const char* SimNativeRole(uint64_t hash) {
    const NativeRow* row = FindRow(hash);
    return row ? row->role : "unknown";
}

int32_t AddSimVehicle(SimWorld& world, SimVec position) {
    int32_t handle = 500;
    while (world.entities.count(handle)) ++handle;
    SimEntity vehicle;
    vehicle.isVehicle = true;
    vehicle.position = position;
    world.entities[handle] = vehicle;
    return handle;
}

void SeatSimPed(SimWorld& world, int32_t ped, int32_t vehicle) {
    auto it = world.entities.find(ped);
    if (it != world.entities.end()) it->second.vehicle = vehicle;
}

void AdvanceSimClock(SimWorld& world, int64_t seconds) {
    if (world.clockPaused || seconds <= 0) return;
    int64_t t = (static_cast<int64_t>(world.clockHours) * 60 + world.clockMinutes) * 60 + world.clockSeconds + seconds;
    t %= 86400;
    world.clockHours = static_cast<int32_t>(t / 3600);
    world.clockMinutes = static_cast<int32_t>((t / 60) % 60);
    world.clockSeconds = static_cast<int32_t>(t % 60);
}

uint64_t SimFloatWord(float value) { return std::bit_cast<uint32_t>(value); }

}  // namespace testsupport
