#include "shell/settings_tab.h"

namespace shell {

void DrawSettingsPanel() {}

}  // namespace shell
