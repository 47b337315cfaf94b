# Dear ImGui, built from the source of Debian's imgui package, unpacked by
# scripts/fetch-imgui.sh into .deps/imgui (nothing of it is committed).
if(NOT EXISTS "${VARNEL_IMGUI_DIR}/imgui.h")
  execute_process(COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/fetch-imgui.sh" "${VARNEL_IMGUI_DIR}"
                  RESULT_VARIABLE _imgui_rc)
  if(NOT _imgui_rc EQUAL 0 OR NOT EXISTS "${VARNEL_IMGUI_DIR}/imgui.h")
    message(FATAL_ERROR "Dear ImGui source not found in ${VARNEL_IMGUI_DIR}; run scripts/fetch-imgui.sh")
  endif()
endif()

file(STRINGS "${VARNEL_IMGUI_DIR}/imgui.h" _imgui_ver REGEX "^#define IMGUI_VERSION_NUM[ \t]+[0-9]+")
string(REGEX MATCH "[0-9]+$" VARNEL_IMGUI_VERSION_NUM "${_imgui_ver}")
if(NOT VARNEL_IMGUI_VERSION_NUM OR VARNEL_IMGUI_VERSION_NUM LESS 19200)
  message(FATAL_ERROR "Dear ImGui 1.92 or newer is needed (found IMGUI_VERSION_NUM=${VARNEL_IMGUI_VERSION_NUM})")
endif()
message(STATUS "Dear ImGui ${VARNEL_IMGUI_VERSION_NUM} from ${VARNEL_IMGUI_DIR}")

set(_imgui_srcs
  ${VARNEL_IMGUI_DIR}/imgui.cpp
  ${VARNEL_IMGUI_DIR}/imgui_draw.cpp
  ${VARNEL_IMGUI_DIR}/imgui_tables.cpp
  ${VARNEL_IMGUI_DIR}/imgui_widgets.cpp
  ${VARNEL_IMGUI_DIR}/misc/cpp/imgui_stdlib.cpp)
if(WIN32)
  list(APPEND _imgui_srcs
    ${VARNEL_IMGUI_DIR}/backends/imgui_impl_win32.cpp
    ${VARNEL_IMGUI_DIR}/backends/imgui_impl_dx12.cpp)
endif()
add_library(varnel_imgui STATIC ${_imgui_srcs})
target_include_directories(varnel_imgui SYSTEM PUBLIC
  ${VARNEL_IMGUI_DIR} ${VARNEL_IMGUI_DIR}/misc/cpp ${VARNEL_IMGUI_DIR}/backends)
target_compile_options(varnel_imgui PRIVATE -w -Wno-array-bounds)
if(NOT WIN32)
  # Native build (tests, benchmarks): ImGui's assertions and item hooks go to
  # the test support (a failed assertion fails the test; tests find items by label).
  target_sources(varnel_imgui PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/imgui/imgui_test_hooks.cpp)
  target_include_directories(varnel_imgui PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/imgui)
  target_compile_definitions(varnel_imgui PUBLIC
    IMGUI_USER_CONFIG="${CMAKE_SOURCE_DIR}/tests/support/imgui/imgui_test_config.h")
endif()
if(WIN32)
  # No gamepad input: the Win32 back end then loads no XInput library (nothing
  # is loaded or freed while the plug-in starts or unloads).
  target_compile_definitions(varnel_imgui PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
  target_link_libraries(varnel_imgui PUBLIC d3d12 dxgi d3dcompiler dwmapi gdi32 imm32)
endif()
