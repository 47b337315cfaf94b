#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/staged_setup.h"

namespace {

std::vector<std::string> g_log;
int g_failAt = -1;

template <int N>
bool Create() {
    g_log.push_back("create " + std::to_string(N));
    return N != g_failAt;
}
template <int N>
void Release() {
    g_log.push_back("release " + std::to_string(N));
}

const host::SetupStep kSteps[] = {
    {"device", Create<0>, Release<0>},
    {"context", Create<1>, Release<1>},
    {"window procedure", Create<2>, nullptr},
    {"heap", Create<3>, Release<3>},
};

TEST(StagedSetup, AFailedStepReleasesWhatTheEarlierOnesCreatedNewestFirst) {
    struct Case {
        int failAt;
        std::vector<std::string> log;
        bool ok;
    };
    const Case cases[] = {
        {-1, {"create 0", "create 1", "create 2", "create 3"}, true},
        {0, {"create 0"}, false},
        {1, {"create 0", "create 1", "release 0"}, false},
        {3, {"create 0", "create 1", "create 2", "create 3", "release 1", "release 0"}, false},
    };
    for (const Case& c : cases) {
        g_log.clear();
        g_failAt = c.failAt;
        EXPECT_EQ(host::RunSetupSteps(kSteps, 4), c.ok) << c.failAt;
        EXPECT_EQ(g_log, c.log) << "failing at " << c.failAt;
    }
}

}  // namespace
