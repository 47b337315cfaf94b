// Dear ImGui configuration of the native build (tests and benchmarks): every
// failed IM_ASSERT goes to the test harness's handler, and ImGui reports each
// item it lays out, so that a headless test can find and click it. The
// Windows build uses ImGui's own configuration.
#pragma once

namespace testsupport {
void ImGuiAssertFailed(const char* expression, const char* file, int line);
}  // namespace testsupport

#define IM_ASSERT(_EXPR) ((_EXPR) ? (void)0 : ::testsupport::ImGuiAssertFailed(#_EXPR, __FILE__, __LINE__))
#define IMGUI_ENABLE_TEST_ENGINE
