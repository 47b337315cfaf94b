#include "host/menu_hotkey.h"

#include <string>

#include "shell/file_utils.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/workspace.h"

namespace host {

uint32_t MenuHotkeyIndexFromText(std::string_view text) {
    for (uint32_t i = 0; i < shell::MenuHotkeyTable.size(); ++i) {
        if (shell::EqualsNoCase(text, shell::MenuHotkeyTable[i].name)) return i;
    }
    int64_t number = 0;
    if (shell::ParseIntPrefix(text, number) && number >= 0 && number < static_cast<int64_t>(shell::MenuHotkeyTable.size()))
        return static_cast<uint32_t>(number);
    return shell::kDefaultMenuHotkey;
}

bool ReadMenuHotkeyBeforeStart() {
    std::string folder;
    bool moved = false;
    const std::string file = shell::FindSettingsFile(shell::DefaultVrnFolder(), folder, moved);
    std::string value;
    if (file.empty() || !shell::IniReadRaw(file, "UI", "MenuHotkey", value)) return false;
    shell::UiSettings.MenuHotkey = MenuHotkeyIndexFromText(value);
    return true;
}

}  // namespace host
