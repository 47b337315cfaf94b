#include "host/tick.h"

namespace host {

void ScriptTick() {}

}  // namespace host
