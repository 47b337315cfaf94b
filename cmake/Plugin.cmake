# Windows build: the script host's import library and the plug-in
# Varnel.asi, a DLL with no exports that the game's script host loads.

# ScriptHookV.dll's import library, made at build time from our own list of
# its exports (src/platform/windows/script_host.def).
set(VARNEL_SCRIPT_HOST_DEF ${CMAKE_SOURCE_DIR}/src/platform/windows/script_host.def)
set(_script_host_implib ${CMAKE_BINARY_DIR}/libScriptHookV.a)
if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "dlltool not found; the toolchain file names it")
endif()
add_custom_command(OUTPUT ${_script_host_implib}
  COMMAND ${CMAKE_DLLTOOL} -d ${VARNEL_SCRIPT_HOST_DEF} -D ScriptHookV.dll -l ${_script_host_implib}
  DEPENDS ${VARNEL_SCRIPT_HOST_DEF}
  COMMENT "Import library of ScriptHookV.dll"
  VERBATIM)
add_custom_target(varnel_script_host_implib DEPENDS ${_script_host_implib})
add_library(varnel_script_host_imports INTERFACE)
target_link_libraries(varnel_script_host_imports INTERFACE ${_script_host_implib})
add_dependencies(varnel_script_host_imports varnel_script_host_implib)
target_link_libraries(varnel_platform PUBLIC varnel_script_host_imports user32)

# The hook engine of the four Direct3D 12 method hooks: MinHook when the
# build finds it, otherwise the built-in engine that replaces the methods'
# method-table entries.
find_package(minhook CONFIG QUIET)
if(TARGET minhook::minhook)
  target_compile_definitions(varnel_host PRIVATE VARNEL_HAVE_MINHOOK)
  target_link_libraries(varnel_host PUBLIC minhook::minhook)
  set(VARNEL_HOOK_ENGINE "MinHook")
else()
  set(VARNEL_HOOK_ENGINE "built-in method-table engine")
endif()
message(STATUS "Hook engine: ${VARNEL_HOOK_ENGINE}")

# The plug-in. MinGW's linker exports every symbol of a DLL that marks none;
# --exclude-all-symbols keeps the export table empty.
set(_plugin_srcs ${CMAKE_SOURCE_DIR}/src/host/dllmain_win.cpp)
add_library(varnel_plugin MODULE ${_plugin_srcs})
set_target_properties(varnel_plugin PROPERTIES OUTPUT_NAME "Varnel" PREFIX "" SUFFIX ".asi")
target_link_libraries(varnel_plugin PRIVATE varnel_host)
target_link_options(varnel_plugin PRIVATE -Wl,--exclude-all-symbols -Wl,--no-undefined)
varnel_warnings(varnel_plugin)
