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

// Scans of all private read-write memory skip under AddressSanitizer and
// ThreadSanitizer: their shadow memory is such memory, terabytes of it, and
// uses up a scan's budget before the test's own memory is reached.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VARNEL_UNDER_SHADOW_MEMORY true
#else
#define VARNEL_UNDER_SHADOW_MEMORY false
#endif
#define VARNEL_SKIP_UNDER_SHADOW_MEMORY() \
    if (VARNEL_UNDER_SHADOW_MEMORY)       \
    GTEST_SKIP() << "the sanitizer's shadow memory uses up the budget of a scan of all private memory"
