# The tables generated from data: each layer that has big tables keeps them
# in src/<layer>/data as tab-separated rows, and the build writes their C++
# from them with the scripts of tools/ into build/<preset>/generated
# (included as "<layer>/..."). Nothing generated is kept in the repo: a
# change of a row or of a script rebuilds what depends on it, and a script
# that finds a row wrong stops the build with the file and line.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VARNEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

set(_runtime_data ${CMAKE_SOURCE_DIR}/src/runtime/data)
set(_runtime_tables
  ${VARNEL_GENERATED_DIR}/runtime/slot_ids.h
  ${VARNEL_GENERATED_DIR}/runtime/slot_tables_data.inc
  ${VARNEL_GENERATED_DIR}/runtime/override_groups_data.inc
  ${VARNEL_GENERATED_DIR}/runtime/data_signature_table.inc
  ${VARNEL_GENERATED_DIR}/runtime/patch_ids.h
  ${VARNEL_GENERATED_DIR}/runtime/patch_tables_data.inc)
file(GLOB _runtime_rows CONFIGURE_DEPENDS ${_runtime_data}/*.tsv)
add_custom_command(OUTPUT ${_runtime_tables}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen_runtime_tables.py ${_runtime_data} ${VARNEL_GENERATED_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_runtime_tables.py ${_runtime_rows}
  COMMENT "Runtime tables from src/runtime/data"
  VERBATIM)

set(_timecycle_data ${CMAKE_SOURCE_DIR}/src/timecycle/data)
set(_timecycle_tables ${VARNEL_GENERATED_DIR}/timecycle/timecycle_tables_data.cpp)
file(GLOB _timecycle_rows CONFIGURE_DEPENDS ${_timecycle_data}/*.tsv)
add_custom_command(OUTPUT ${_timecycle_tables}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen_timecycle_tables.py
          ${_timecycle_data} ${_runtime_data} ${VARNEL_GENERATED_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_timecycle_tables.py ${CMAKE_SOURCE_DIR}/tools/gen_runtime_tables.py
          ${_timecycle_rows} ${_runtime_data}/live_slots.tsv
  COMMENT "Timecycle tables from src/timecycle/data"
  VERBATIM)

set(_visualsettings_data ${CMAKE_SOURCE_DIR}/src/visualsettings/data)
set(_visualsettings_tables ${VARNEL_GENERATED_DIR}/visualsettings/param_table_data.cpp)
file(GLOB _visualsettings_rows CONFIGURE_DEPENDS ${_visualsettings_data}/*.tsv)
add_custom_command(OUTPUT ${_visualsettings_tables}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen_visualsettings_tables.py
          ${_visualsettings_data} ${VARNEL_GENERATED_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_visualsettings_tables.py ${CMAKE_SOURCE_DIR}/tools/gen_runtime_tables.py
          ${_visualsettings_rows}
  COMMENT "Visualsettings tables from src/visualsettings/data"
  VERBATIM)

# Every layer from the runtime up may include the generated headers; the
# tables are written before any of them compiles.
add_custom_target(varnel_tables DEPENDS ${_runtime_tables} ${_timecycle_tables} ${_visualsettings_tables})
target_sources(varnel_runtime PRIVATE ${_runtime_tables})
target_include_directories(varnel_runtime PUBLIC ${VARNEL_GENERATED_DIR})
target_sources(varnel_timecycle PRIVATE ${_timecycle_tables})
target_sources(varnel_visualsettings PRIVATE ${_visualsettings_tables})
foreach(layer IN LISTS VARNEL_LAYERS)
  if(NOT layer MATCHES "^(platform|core)$")
    add_dependencies(varnel_${layer} varnel_tables)
  endif()
endforeach()
