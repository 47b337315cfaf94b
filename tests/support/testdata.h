// Real game files for round-trip tests: ../shared/testdata/real/<subfolder>
// beside the checkout, plus $VARNEL_EXTRA_TESTDATA/<subfolder> when set.
// Tests skip, saying why, when neither holds a file.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {

std::string SharedTestdataDir();
std::vector<std::string> RealFiles(const std::string& subfolder);

}  // namespace testsupport

#define VARNEL_SKIP_IF_EMPTY(files, what)                                                            \
    if ((files).empty())                                                                             \
    GTEST_SKIP() << "no real " << (what) << " files: ../shared/testdata/real is absent and "         \
                 << "VARNEL_EXTRA_TESTDATA is not set"
