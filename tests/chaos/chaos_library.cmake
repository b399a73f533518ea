# The fault campaign's library: the bench, the drawn terminals and faults,
# the oracle and the campaign itself. The tests and the fuzz targets both
# use it; whichever folder comes first defines it.
if(NOT TARGET tavro_chaos)
  set(_chaos_dir ${CMAKE_SOURCE_DIR}/tests/chaos)
  add_library(tavro_chaos STATIC
    ${_chaos_dir}/bench.cpp
    ${_chaos_dir}/campaign.cpp
    ${_chaos_dir}/fault_plan.cpp
    ${_chaos_dir}/oracle.cpp
    ${_chaos_dir}/terminal_plan.cpp
  )
  target_link_libraries(tavro_chaos PUBLIC tavro_core tavro_sim PRIVATE tavro_warnings)
  target_include_directories(tavro_chaos PUBLIC ${CMAKE_SOURCE_DIR}/tests)
endif()
