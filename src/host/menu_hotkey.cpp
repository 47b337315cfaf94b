#include "host/menu_hotkey.h"

#include <string>

#include "platform/files.h"
#include "shell/file_utils.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/workspace.h"

namespace host {

uint32_t MenuHotkeyIndexFromText(std::string_view text) {
    for (uint32_t i = 0; i < shell::MenuHotkeyTable.size(); ++i) {
        const std::string_view name = shell::MenuHotkeyTable[i].name;
        if (name.size() != text.size()) continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k) same = shell::LowerByte(name[k]) == shell::LowerByte(text[k]);
        if (same) return i;
    }
    int64_t number = 0;
    if (shell::ParseIntPrefix(text, number) && number >= 0 && number < static_cast<int64_t>(shell::MenuHotkeyTable.size()))
        return static_cast<uint32_t>(number);
    return shell::kDefaultMenuHotkey;
}

namespace {

bool ReadWorkspaceDirectory(const std::string& iniPath, std::string& value) {
    for (const char* key : {"WorkspaceDirectory", "VrnDirectory", "VRNFolder"})
        if (shell::IniReadRaw(iniPath, "Paths", key, value)) return true;
    return false;
}

}  // namespace

bool ReadMenuHotkeyBeforeStart() {
    const std::string defaultFolder = shell::DefaultVrnFolder();
    if (defaultFolder.empty()) return false;
    std::string file = defaultFolder + "VRN.ini";
    std::string folder = defaultFolder;
    std::string chosen;
    if (ReadWorkspaceDirectory(file, chosen)) {
        folder = shell::VrnFolderFromChoice(chosen, defaultFolder);
        if (platform::IsExistingFile(folder + "VRN.ini")) file = folder + "VRN.ini";
    }
    if (platform::IsExistingFile(file) && ReadWorkspaceDirectory(file, chosen)) {
        const std::string second = shell::VrnFolderFromChoice(chosen, defaultFolder);
        if (!shell::SamePath(second, folder) && platform::IsExistingFile(second + "VRN.ini"))
            file = second + "VRN.ini";
    }
    std::string value;
    if (!shell::IniReadRaw(file, "UI", "MenuHotkey", value)) return false;
    shell::UiSettings.MenuHotkey = MenuHotkeyIndexFromText(value);
    return true;
}

}  // namespace host
