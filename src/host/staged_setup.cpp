#include "host/staged_setup.h"

namespace host {

bool RunSetupSteps(const SetupStep* steps, size_t count, size_t* failedAt) {
    for (size_t i = 0; i < count; ++i) {
        if (steps[i].create()) continue;
        if (failedAt) *failedAt = i;
        for (size_t j = i; j-- > 0;)
            if (steps[j].release != nullptr) steps[j].release();
        return false;
    }
    return true;
}

}  // namespace host
