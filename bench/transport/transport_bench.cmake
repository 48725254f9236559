# Download throughput against the lab, beside curl (run by hand; not part of the tests):
#   <build>/transport_bench --seconds 20
if(KESTRANE_TESTS)
  add_executable(transport_bench ${CMAKE_CURRENT_LIST_DIR}/transport_bench.cpp)
  target_link_libraries(transport_bench PRIVATE kestrane_options kestrane_transport kestrane_labfixture)
endif()
