// Dear ImGui configuration of the native (Linux) build: the tests and the
// benchmarks. Every ImGui assertion goes to a handler that the test harness
// turns into a test failure (see ../imgui_harness.h), and ImGui reports each
// item it lays out (identifier, rectangle, label) to the harness, so that a
// headless test can find "the tab labelled Settings" and click it.
// The Windows build uses ImGui's own configuration.
#pragma once

namespace testsupport {
// Called for every failed IM_ASSERT (expression text, file, line).
void ImGuiAssertFailed(const char* expression, const char* file, int line);
}  // namespace testsupport

#define IM_ASSERT(_EXPR) ((_EXPR) ? (void)0 : ::testsupport::ImGuiAssertFailed(#_EXPR, __FILE__, __LINE__))
#define IMGUI_ENABLE_TEST_ENGINE
