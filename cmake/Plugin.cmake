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

# The hook engine of the four Direct3D 12 method hooks: MinHook, or the
# built-in engine that replaces the methods' method-table entries. MinHook
# comes from an install the user names (minhook_DIR, or its prefix in
# CMAKE_PREFIX_PATH), else from VARNEL_MINHOOK_DIR, which
# scripts/fetch-minhook.sh fills from the source copy in ../shared/deps when
# there is one. The toolchain file limits package searches to the MinGW root,
# so these places are searched as they stand. hook-engine.txt in the build
# folder names the engine for the scripts ("MinHook" or "built-in").
set(VARNEL_HOOK_ENGINE "built-in method-table engine")
set(_hook_engine_file "built-in")
set(_no_minhook "VARNEL_MINHOOK is OFF")
if(VARNEL_MINHOOK)
  if(minhook_DIR OR CMAKE_PREFIX_PATH)
    find_package(minhook CONFIG QUIET PATHS ${CMAKE_PREFIX_PATH} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(NOT minhook_FOUND)
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fetch-minhook.sh ${VARNEL_MINHOOK_DIR}
                    RESULT_VARIABLE _minhook_rc OUTPUT_VARIABLE _minhook_out ERROR_VARIABLE _minhook_out
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
    if(NOT _minhook_rc EQUAL 0)
      message(FATAL_ERROR "${_minhook_out}\n"
        "MinHook could not be built; configure with -DVARNEL_MINHOOK=OFF for the built-in hook engine.")
    endif()
    if(_minhook_out)
      message(STATUS "${_minhook_out}")
    endif()
    find_package(minhook CONFIG QUIET PATHS ${VARNEL_MINHOOK_DIR} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  set(_no_minhook "no MinHook found (minhook_DIR, CMAKE_PREFIX_PATH, ${VARNEL_MINHOOK_DIR})")
endif()
if(VARNEL_MINHOOK AND TARGET minhook::minhook)
  target_compile_definitions(varnel_host PRIVATE VARNEL_HAVE_MINHOOK)
  target_link_libraries(varnel_host PUBLIC minhook::minhook)
  set(VARNEL_HOOK_ENGINE "MinHook")
  set(_hook_engine_file "MinHook")
  message(STATUS "Hook engine: MinHook (${minhook_DIR})")
else()
  message(STATUS "Hook engine: ${VARNEL_HOOK_ENGINE} (${_no_minhook})")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/hook-engine.txt "${_hook_engine_file}\n")

# The plug-in. MinGW's linker exports every symbol of a DLL that marks none;
# --exclude-all-symbols keeps the export table empty.
set(_plugin_srcs ${CMAKE_SOURCE_DIR}/src/host/dllmain_win.cpp)
add_library(varnel_plugin MODULE ${_plugin_srcs})
set_target_properties(varnel_plugin PROPERTIES OUTPUT_NAME "Varnel" PREFIX "" SUFFIX ".asi")
target_link_libraries(varnel_plugin PRIVATE varnel_host)
target_link_options(varnel_plugin PRIVATE -Wl,--exclude-all-symbols -Wl,--no-undefined)
varnel_warnings(varnel_plugin)
