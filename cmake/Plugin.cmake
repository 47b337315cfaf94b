# The Windows plug-in: Varnel.asi, a DLL with no exports that the game's
# script host loads.
set(_plugin_srcs ${CMAKE_SOURCE_DIR}/src/host/dllmain_win.cpp)
if(EXISTS ${_plugin_srcs})
  add_library(varnel_plugin MODULE ${_plugin_srcs})
  set_target_properties(varnel_plugin PROPERTIES OUTPUT_NAME "Varnel" PREFIX "" SUFFIX ".asi")
  target_link_libraries(varnel_plugin PRIVATE varnel_core)
  varnel_warnings(varnel_plugin)
endif()
