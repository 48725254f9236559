# The file download engine against the lab, beside curl (run by hand; not part of the tests):
#   <build>/filedown_bench
if(KESTRANE_TESTS)
  add_executable(filedown_bench ${CMAKE_CURRENT_LIST_DIR}/filedown_bench.cpp)
  target_link_libraries(filedown_bench PRIVATE kestrane_options kestrane_filedown kestrane_labfixture)
endif()
