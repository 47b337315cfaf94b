#include "host/menu_hotkey.h"

#include <string>

#include "core/settings.h"
#include "core/workspace.h"

namespace host {

bool ReadMenuHotkeyBeforeStart() {
    std::string folder;
    bool moved = false;
    const std::string file = core::FindSettingsFile(core::DefaultVrnFolder(), folder, moved);
    std::string value;
    if (file.empty() || !core::IniReadRaw(file, "UI", "MenuHotkey", value)) return false;
    core::UiSettings.MenuHotkey = core::MenuHotkeyIndexFromText(value);
    return true;
}

}  // namespace host
