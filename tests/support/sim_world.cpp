#include "sim_world.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace testsupport {
namespace {

using W = SimWorld;
using A = const uint64_t*;  // the argument words, checked against the row
using R = uint64_t*;        // the result words, zeroed by the caller

// Argument codes: i integer or handle, b boolean (0 or 1), f float, s string
// address; exact constants: 0, 1, 2 integers, z float 0.0, R float 1000.0.
// The handler changes the world, writes the result and adds its faults.
struct NativeRow {
    uint64_t hash;
    const char* role;
    const char* args;
    void (*apply)(W& w, A a, R r);
};

constexpr uint64_t kSetClock = 0x47C3B5848C3E45D8;

int32_t Int(uint64_t word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }
float Flt(uint64_t word) { return std::bit_cast<float>(static_cast<uint32_t>(word)); }
SimVec Vec(A a) { return {Flt(a[0]), Flt(a[1]), Flt(a[2])}; }

void PutInt(R r, int32_t value) { r[0] = static_cast<uint32_t>(value); }
void PutFloat(R r, float value) { r[0] = std::bit_cast<uint32_t>(value); }
void PutVec(R r, SimVec v) {
    r[0] = std::bit_cast<uint32_t>(v.x);
    r[1] = std::bit_cast<uint32_t>(v.y);
    r[2] = std::bit_cast<uint32_t>(v.z);
}
void Nothing(W&, A, R) {}  // per-frame switches: only logged

SimEntity* Entity(W& w, uint64_t word) {
    auto it = w.entities.find(Int(word));
    return Int(word) == 0 || it == w.entities.end() ? nullptr : &it->second;
}
// An entity or camera that a call changes: its absence is a fault.
SimEntity* Existing(W& w, uint64_t word) {
    SimEntity* e = Entity(w, word);
    if (!e) w.faults.push_back("entity does not exist");
    return e;
}
SimCamera* Camera(W& w, uint64_t word) {
    auto it = w.cameras.find(Int(word));
    if (it != w.cameras.end()) return &it->second;
    w.faults.push_back("camera does not exist");
    return nullptr;
}
void Place(W& w, A a, R) {
    if (SimEntity* e = Existing(w, a[0])) e->position = Vec(a + 1);
}

std::string Text(uint64_t word) {  // a string argument, at most 256 bytes
    const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(word));
    return std::string(text, strnlen(text, 256));
}

// The second clock set must follow the first with the same time.
template <bool Again>
void SetClock(W& w, A a, R) {
    const int32_t h = Int(a[0]), m = Int(a[1]), s = Int(a[2]);
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) {
        w.faults.push_back("time out of range");
        return;
    }
    if (Again && !(w.lastHash == kSetClock && w.lastArgs == std::vector<uint64_t>(a, a + 3)))
        w.faults.push_back("not right after the first clock set with the same time");
    w.clockSets += Again ? 0 : 1;
    w.clockHours = h;
    w.clockMinutes = m;
    w.clockSeconds = s;
}

// Steps 3 to 5 name the weather; the fifth makes it the game's.
template <int Step>
void WeatherStep(W& w, A a, R) {
    const std::string name = Text(a[0]);
    if (w.weatherStep != Step - 1 || (Step > 3 && name != w.weatherPending)) {
        w.weatherStep = 0;
        w.faults.push_back("out of order or another weather");
        return;
    }
    w.weatherPending = name;
    w.weatherStep = Step == 5 ? 0 : Step;
    if (Step == 5) w.weather = name;
}

void CreateCamera(W& w, A a, R r) {
    if (Text(a[0]) != "DEFAULT_SCRIPTED_CAMERA") w.faults.push_back("unknown camera name");
    if (w.failCameraCreation) return;
    const int32_t handle = w.nextCamera++;
    w.cameras[handle] = SimCamera{Vec(a + 1), Vec(a + 4), Flt(a[7]), false};
    PutInt(r, handle);
}

// Written from the game's interface, independently of the editor's own
// constants, so that a mistyped hash in the editor is caught here.
const NativeRow kRows[] = {
    {0xD80958FC74E988A6, "player ped", "", [](W& w, A, R r) { PutInt(r, w.playerPed); }},
    {0x4F8644AF03D0E0D6, "player index", "", [](W& w, A, R r) { PutInt(r, w.playerIndex); }},
    {0x8D32347D6D4C40A2, "player control", "ib0",
     [](W& w, A a, R) {
         if (Int(a[0]) != w.playerIndex) w.faults.push_back("not the player index");
         w.playerControl = a[1] != 0;
     }},
    {0x5F4B6931816E599B, "game controls off this frame", "0", Nothing},
    {0x3FEF770D40960D5A, "entity position", "i1",
     [](W& w, A a, R r) {
         if (const SimEntity* e = Entity(w, a[0])) PutVec(r, e->position);
     }},
    {0x7239B21A38F536BA, "entity exists", "i", [](W& w, A a, R r) { PutInt(r, Entity(w, a[0]) ? 1 : 0); }},
    {0x997ABD671D25CA0B, "ped in a vehicle", "i0",
     [](W& w, A a, R r) {
         const SimEntity* e = Entity(w, a[0]);
         PutInt(r, e && e->vehicle != 0 ? 1 : 0);
     }},
    {0x9A9112A0FE9A4713, "ped's vehicle", "i0",
     [](W& w, A a, R r) {
         const SimEntity* e = Entity(w, a[0]);
         PutInt(r, e ? e->vehicle : 0);
     }},
    {0x428CA6DBD1094446, "entity frozen", "ib",
     [](W& w, A a, R) {
         if (SimEntity* e = Existing(w, a[0])) e->frozen = a[1] != 0;
     }},
    {0x06843DA7060A026B, "entity placed (preset teleport)", "ifff0001", Place},
    {0x239A3351AC1DA385, "entity placed (location teleport)", "ifff000", Place},
    {0x1C99BB7B6E96D16F, "entity velocity", "ifff",
     [](W& w, A a, R) {
         if (SimEntity* e = Existing(w, a[0])) e->velocity = Vec(a + 1);
     }},
    {0x07503F7948F491A7, "world loaded around a point", "fff", Nothing},
    {0xF4F2C0D4EE209E20, "no idle camera this frame", "", Nothing},
    {0x95E3D6257B166CF2, "pedestrian suppression 1", "z", Nothing},
    {0x7A556143A1C03898, "pedestrian suppression 2", "zz", Nothing},
    {0x8C95333CFC3340F3, "pedestrian suppression 3", "0", Nothing},
    {0xBE31FD6CE464AC59, "pedestrians cleared around a point", "fffR1", Nothing},
    {0x245A6883D966D537, "vehicle suppression 1", "z", Nothing},
    {0xB3B3359379FE77D3, "vehicle suppression 2", "z", Nothing},
    {0xEAE6DCC7EEE3DB1D, "vehicle suppression 3", "z", Nothing},
    {0xCB9E1EB3BE2AF4E9, "vehicle suppression 4", "0", Nothing},
    {0x2AFD795EEAC8D30D, "vehicle switch A", "b", [](W& w, A a, R) { w.vehicleSwitchA = a[0] != 0; }},
    {0x80D9F74197EA47D9, "vehicle switch B", "b", [](W& w, A a, R) { w.vehicleSwitchB = a[0] != 0; }},
    {0x01C7B9B38428AEB6, "vehicles cleared around a point", "fffR00000", Nothing},
    {0x1268615ACE24D504, "blackout", "b", [](W& w, A a, R) { w.blackout = a[0] != 0; }},
    {0xA6294919E56FF02A, "HUD shown", "b", [](W& w, A a, R) { w.hudVisible = a[0] != 0; }},
    {0xA0EBB943C300E693, "radar shown", "b", Nothing},
    {0x719FF505F097FD20, "HUD hidden this frame", "", Nothing},
    {0x25223CA6B4D20B7F, "clock hours", "", [](W& w, A, R r) { PutInt(r, w.clockHours); }},
    {0x13D2B8ADD79640F2, "clock minutes", "", [](W& w, A, R r) { PutInt(r, w.clockMinutes); }},
    {0x494E97C2EF27C470, "clock seconds", "", [](W& w, A, R r) { PutInt(r, w.clockSeconds); }},
    {0x4055E40BD2DBEC1D, "clock paused", "b", [](W& w, A a, R) { w.clockPaused = a[0] != 0; }},
    {kSetClock, "clock set", "iii", SetClock<false>},
    {0xE679E3E06E363892, "clock set again", "iii", SetClock<true>},
    {0xCCC39339BEF76CF5, "weather change step 1", "", [](W& w, A, R) { w.weatherStep = 1; }},
    {0x338D2E3477711050, "weather change step 2", "",
     [](W& w, A, R) {
         w.weatherStep = w.weatherStep == 1 ? 2 : 0;
         if (w.weatherStep != 2) w.faults.push_back("out of order");
     }},
    {0xED712CA327900C8A, "weather change step 3", "s", WeatherStep<3>},
    {0x29B487C359E19889, "weather change step 4", "s", WeatherStep<4>},
    {0xA43D5C6FE51ADBEF, "weather change step 5", "s", WeatherStep<5>},
    {0x15C40837039FFAF7, "frame time", "", [](W& w, A, R r) { PutFloat(r, w.frameTime); }},
    {0x11E65974A982637C, "look axis", "0i",
     [](W& w, A a, R r) {
         const int32_t axis = Int(a[1]);
         if (axis == 1 || axis == 2) PutFloat(r, w.lookAxis[axis]);
         else w.faults.push_back("axis not 1 or 2");
     }},
    {0x14D6F5678D8F1B37, "gameplay camera position", "", [](W& w, A, R r) { PutVec(r, w.gameplayCamPosition); }},
    {0x837765A25378F0BB, "gameplay camera rotation", "2", [](W& w, A, R r) { PutVec(r, w.gameplayCamRotation); }},
    {0x65019750A0324133, "gameplay camera field of view", "", [](W& w, A, R r) { PutFloat(r, w.gameplayCamFov); }},
    {0xB51194800B257161, "camera created", "sffffzff12", CreateCamera},
    {0xA7A932170592B50E, "camera exists", "i", [](W& w, A a, R r) { PutInt(r, w.cameras.count(Int(a[0])) ? 1 : 0); }},
    {0x026FB97D0A425F84, "camera active", "ib",
     [](W& w, A a, R) {
         if (SimCamera* c = Camera(w, a[0])) c->active = a[1] != 0;
     }},
    {0x07E5B515DB0636FC, "scripted cameras rendered", "b0011", [](W& w, A a, R) { w.renderingScriptCams = a[0] != 0; }},
    {0x865908C81A2C22E9, "camera destroyed", "i1",
     [](W& w, A a, R) {
         if (Camera(w, a[0])) w.cameras.erase(Int(a[0]));
     }},
    {0x4D41783FB745E42E, "camera position", "ifff",
     [](W& w, A a, R) {
         if (SimCamera* c = Camera(w, a[0])) c->position = Vec(a + 1);
     }},
    {0x85973643155D0B07, "camera rotation", "ifzf2",
     [](W& w, A a, R) {
         if (SimCamera* c = Camera(w, a[0])) c->rotation = Vec(a + 1);
     }},
    {0xB13C14F66A00D047, "camera field of view", "if",
     [](W& w, A a, R) {
         if (SimCamera* c = Camera(w, a[0])) c->fov = Flt(a[1]);
     }},
    {0x0F07E7745A236711, "timecycle modifier cleared", "", [](W& w, A, R) { w.modifierIndex = -1; }},
    {0x2C933ABF17A1DF41, "timecycle modifier set", "s", [](W& w, A, R) { w.modifierIndex = 1; }},
    {0x82E7FFCD5B2326B3, "timecycle modifier strength", "f", Nothing},
    {0xFDF3D97C674AFB66, "timecycle modifier index", "", [](W& w, A, R r) { PutInt(r, w.modifierIndex); }},
};

const NativeRow* FindRow(uint64_t hash) {
    for (const NativeRow& row : kRows)
        if (row.hash == hash) return &row;
    return nullptr;
}

std::string HexText(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
    return text;
}

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

// Adds the faults of a call's words; false when they do not fit the row.
bool ArgumentsFit(W& w, const NativeRow& row, A args, size_t count) {
    const size_t want = std::strlen(row.args);
    if (count != want) {
        w.faults.push_back("takes " + std::to_string(want) + " words, got " + std::to_string(count));
        return false;
    }
    bool fit = true;
    for (size_t i = 0; i < count; ++i) {
        if (const char* problem = WordProblem(row.args[i], args[i])) {
            w.faults.push_back("word " + std::to_string(i) + " = " + HexText(args[i]) + ": " + problem);
            fit = false;
        }
    }
    return fit;
}

}  // namespace

bool HandleSimNative(SimWorld& world, uint64_t hash, const uint64_t* args, size_t count, uint64_t* result) {
    const NativeRow* row = FindRow(hash);
    if (!row) {
        world.unknownHashes.push_back(hash);
        return false;
    }
    const size_t before = world.faults.size();
    if (ArgumentsFit(world, *row, args, count)) row->apply(world, args, result);
    for (size_t i = before; i < world.faults.size(); ++i)
        world.faults[i] = HexText(hash) + " (" + row->role + "): " + world.faults[i];
    world.lastHash = hash;
    world.lastArgs.assign(args, args + count);
    return true;
}

std::span<const uint64_t> SimNativeHashes() {
    static const std::vector<uint64_t> hashes = [] {
        std::vector<uint64_t> h;
        for (const NativeRow& row : kRows) h.push_back(row.hash);
        return h;
    }();
    return hashes;
}

const char* SimNativeRole(uint64_t hash) {
    const NativeRow* row = FindRow(hash);
    return row ? row->role : "unknown";
}

int32_t SeatInNewSimVehicle(SimWorld& world, int32_t ped) {
    int32_t handle = 500;
    while (world.entities.count(handle)) ++handle;
    world.entities[handle] = SimEntity{};
    world.entities[ped].vehicle = handle;
    return handle;
}

void AdvanceSimClock(SimWorld& world, int64_t seconds) {
    if (world.clockPaused || seconds <= 0) return;
    int64_t t = (static_cast<int64_t>(world.clockHours) * 60 + world.clockMinutes) * 60 + world.clockSeconds + seconds;
    t %= 86400;
    world.clockHours = static_cast<int32_t>(t / 3600);
    world.clockMinutes = static_cast<int32_t>((t / 60) % 60);
    world.clockSeconds = static_cast<int32_t>(t % 60);
}

}  // namespace testsupport
