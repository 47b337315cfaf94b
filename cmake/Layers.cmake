# varnel_layer(<name> [<layer below> ...]): the static library varnel_<name>
# of the folder src/<name>, linking the layers it builds on. VARNEL_LAYERS
# keeps the layers in order, VARNEL_LAYER_DEPS their "<name>:<below>,..."
# entries for the layer test.
set(VARNEL_LAYERS "")
set(VARNEL_LAYER_DEPS "")

function(varnel_layer name)
  set(dir "${CMAKE_SOURCE_DIR}/src/${name}")
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "varnel_layer(${name}): there is no folder src/${name}")
  endif()
  foreach(below IN LISTS ARGN)
    if(NOT TARGET varnel_${below})
      message(FATAL_ERROR "varnel_layer(${name}): ${below} is not a layer declared before it")
    endif()
  endforeach()

  if(WIN32)
    set(system windows)
  else()
    set(system linux)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/${system}/*.cpp")
  set(kept "")
  foreach(f IN LISTS srcs)
    if(f MATCHES "_win\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(f MATCHES "dllmain_win\\.cpp$")
      continue()  # the plug-in's entry: cmake/Plugin.cmake
    endif()
    list(APPEND kept "${f}")
  endforeach()

  add_library(varnel_${name} STATIC ${kept})
  target_include_directories(varnel_${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  foreach(below IN LISTS ARGN)
    target_link_libraries(varnel_${name} PUBLIC varnel_${below})
  endforeach()
  varnel_warnings(varnel_${name})

  string(REPLACE ";" "," deps "${ARGN}")
  set(VARNEL_LAYERS ${VARNEL_LAYERS} ${name} PARENT_SCOPE)
  set(VARNEL_LAYER_DEPS ${VARNEL_LAYER_DEPS} "${name}:${deps}" PARENT_SCOPE)
endfunction()
