#include "host/menu_hotkey.h"

#include <string>

#include "shell/settings.h"
#include "shell/workspace.h"

namespace host {

bool ReadMenuHotkeyBeforeStart() {
    std::string folder;
    bool moved = false;
    const std::string file = shell::FindSettingsFile(shell::DefaultVrnFolder(), folder, moved);
    std::string value;
    if (file.empty() || !shell::IniReadRaw(file, "UI", "MenuHotkey", value)) return false;
    shell::UiSettings.MenuHotkey = shell::MenuHotkeyIndexFromText(value);
    return true;
}

}  // namespace host
