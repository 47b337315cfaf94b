#include "weather/document_live.h"

#include <mutex>

#include "weather/live_state.h"
#include "weather/render_live.h"
#include "weather/sirens_editor.h"
#include "weather/value_filters.h"
#include "weather/water_lightning_live.h"
#include "weather/weather_text.h"
#include "weather/weather_xml_live.h"

namespace weather {
namespace {

WeatherDocument* Registered(std::string_view fileName) {
    const int32_t row = FindWeatherDocumentIndex(fileName);
    return row < 0 ? nullptr : &WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)];
}

// The render documents of the registry in row order: weather-folder files
// other than weather.xml.
template <typename Visit>
void ForEachRenderRow(Visit&& visit) {
    for (WeatherDocument& document : WeatherDocuments.WeatherDocumentRegistry) {
        if (DocumentKindOf(document) == DocumentKind::Render) visit(document);
    }
}

}  // namespace

bool ShowWeatherValuesBefore(std::string& status) {
    WeatherLiveState& s = WeatherLive;
    bool wroteTable = false;
    if (s.WeatherTypesTableSaved) {
        const uint64_t table = s.weatherTypesSavedAt;
        if (table == 0 || !GameBytesReadable(table, kWeatherTypesTableBytes)) {
            status = "Weather before/after failed: game weather values not available.";
            return false;
        }
        if (!WriteGameBytes(table, s.WeatherTypesTableOriginal.data(), kWeatherTypesTableBytes)) {
            status = "Weather before/after failed: game weather values not writable.";
            return false;
        }
        wroteTable = true;
    }
    if (!s.WeatherEffectsSaved) {
        if (!wroteTable) {
            status = "Weather before/after skipped: no saved live state.";
            return false;
        }
        s.WeatherXmlBeforeShown = 1;
        status = "Weather before shown.";
        return true;
    }
    for (const WeatherEffectTarget& t : s.WeatherEffectTargets) {
        if (t.address == 0 || !GameBytesReadable(t.address, 4)) {
            status = "Weather before/after failed: game effect value not available.";
            return false;
        }
        if (!WriteGameBytes(t.address, &t.saved, 4)) {
            status = "Weather before/after failed: game effect value not writable.";
            return false;
        }
    }
    s.WeatherXmlBeforeShown = 1;
    status = "Weather before shown.";
    return true;
}

bool ShowWeatherDocBefore(const WeatherDocument& document, std::string& status) {
    RenderLiveState* state = FindRenderLiveState(document);
    if (state == nullptr || !RenderStateValid(*state)) {
        status = "Weather before/after skipped: no saved live state for this file.";
        return false;
    }
    for (size_t i = 0; i < state->blocks.size(); ++i) {
        const uint64_t block = state->blocks[i];
        if (block == 0 || !GameBytesReadable(block, kRenderBlockBytes)) {
            status = "Weather before/after failed: runtime block not available.";
            return false;
        }
        if (!WriteGameBytes(block, state->savedImages.data() + i * kRenderBlockBytes, kRenderBlockBytes)) {
            status = "Weather before/after failed: runtime block not writable.";
            return false;
        }
    }
    state->beforeShown = 1;
    PublishWeatherDocState(document, *state);
    status = "Weather before shown.";
    return true;
}

bool WeatherDocumentBeforeShown(const WeatherDocument& document) {
    const WeatherLiveState& s = WeatherLive;
    switch (DocumentKindOf(document)) {
        case DocumentKind::Watertune: return s.WatertuneBeforeShown != 0;
        case DocumentKind::VfxLightning: return s.VfxLightningBeforeShown != 0;
        case DocumentKind::WeatherXml: return s.WeatherXmlBeforeShown != 0;
        case DocumentKind::Render: {
            const RenderLiveState* state = FindRenderLiveState(document);
            return state != nullptr && state->beforeShown != 0;
        }
        case DocumentKind::Other: break;
    }
    return false;
}

bool WeatherDocumentSaved(const WeatherDocument& document) {
    const WeatherLiveState& s = WeatherLive;
    switch (DocumentKindOf(document)) {
        case DocumentKind::Watertune: return s.WatertuneSaved != 0;
        case DocumentKind::VfxLightning: return s.VfxLightningSaved != 0;
        case DocumentKind::WeatherXml: return s.WeatherTypesTableSaved != 0 || s.WeatherEffectsSaved != 0;
        case DocumentKind::Render: {
            const RenderLiveState* state = FindRenderLiveState(document);
            return state != nullptr && RenderStateValid(*state);
        }
        case DocumentKind::Other: break;
    }
    return false;
}

bool ApplyDocumentLive(const WeatherDocument& document, std::string& status) {
    if (!document.loaded) return false;
    switch (DocumentKindOf(document)) {
        case DocumentKind::Watertune:
            if (!ApplyWatertuneLive(document, status)) return false;
            WeatherLive.WatertuneBeforeShown = 0;
            return true;
        case DocumentKind::VfxLightning: return ApplyVfxLightningLive(document, status);
        case DocumentKind::WeatherXml: return ApplyWeatherXmlLive(document, status);
        case DocumentKind::Render:
            if (!ApplyWeatherRenderLive(document, status)) return false;
            WeatherLive.CurrentRenderContext.beforeShown = 0;
            return true;
        case DocumentKind::Other: break;
    }
    return false;
}

bool ApplyValueLive(const WeatherDocument& document, const XmlValueRecord& value, std::string& status) {
    if (!document.loaded) return false;
    if (WeatherDocumentBeforeShown(document)) {
        status = WeatherDocumentDisplayName(document) + " before shown: the edit is written when after is shown.";
        return true;
    }
    if (DocumentKindOf(document) == DocumentKind::WeatherXml) return ApplyWeatherValueLive(document, value, status);
    return ApplyDocumentLive(document, status);
}

void ShowWeatherDocsBeforeAfter(uint8_t before, uint8_t* changed) {
    std::lock_guard<std::mutex> lock(WeatherLive.lock);
    WeatherLiveState& s = WeatherLive;
    std::string scratch;
    const auto note = [changed](bool wrote) {
        if (wrote && changed != nullptr) *changed = 1;
    };
    if (WeatherDocument* d = Registered("watertune.xml")) {
        if (before) {
            if (WeatherDocumentHasLiveEdits(*d) && s.WatertuneSaved) note(ShowWatertuneBefore(scratch));
        } else if (s.WatertuneBeforeShown) {
            const bool applied = ApplyWatertuneLive(*d, scratch);
            if (applied) s.WatertuneBeforeShown = 0;
            note(applied);
        }
    }
    if (WeatherDocument* d = Registered("vfxlightningsettings.xml")) {
        if (before) {
            if (WeatherDocumentHasLiveEdits(*d) && s.VfxLightningSaved) note(ShowVfxLightningBefore(scratch));
        } else if (s.VfxLightningBeforeShown) {
            note(ApplyVfxLightningLive(*d, scratch));
        }
    }
    if (WeatherDocument* d = Registered("weather.xml")) {
        if (before) {
            if (WeatherDocumentHasLiveEdits(*d) && (s.WeatherTypesTableSaved || s.WeatherEffectsSaved))
                note(ShowWeatherValuesBefore(scratch));
        } else if (s.WeatherXmlBeforeShown) {
            const bool applied = ReapplyWeatherXmlEdits(*d, scratch);
            if (applied) s.WeatherXmlBeforeShown = 0;
            note(applied);
        }
    }
    ForEachRenderRow([&](WeatherDocument& d) {
        RenderLiveState* state = FindRenderLiveState(d);
        if (state == nullptr) return;
        if (before) {
            if (WeatherDocumentHasLiveEdits(d) && RenderStateValid(*state)) note(ShowWeatherDocBefore(d, scratch));
        } else if (state->beforeShown) {
            note(ApplyWeatherRenderLive(d, scratch));
        }
    });
    SirensAllLiveBeforeAfter(before, changed);
}

bool ReleaseWeatherEditor(bool waitForLock) {
    std::unique_lock<std::mutex> lock(WeatherLive.lock, std::defer_lock);
    if (waitForLock) lock.lock();
    else if (!lock.try_lock()) return false;
    // Nothing is written to the game: the edited values stay in it (only
    // the before views put the saved bytes back).
    ReleaseWeatherDocuments();
    ResetWeatherLiveState();
    return true;
}

}  // namespace weather
