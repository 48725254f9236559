# The web page engine against the lab's portal pages (run by hand; not part of the tests):
#   <build>/webpage_bench [LOADS]
if(KESTRANE_TESTS AND KESTRANE_GUI)
  add_executable(webpage_bench ${CMAKE_CURRENT_LIST_DIR}/webpage_bench.cpp)
  target_link_libraries(webpage_bench PRIVATE kestrane_options kestrane_webpage_ui kestrane_labfixture)
endif()
