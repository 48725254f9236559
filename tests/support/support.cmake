add_library(kestrane_testsupport STATIC ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp)
target_include_directories(kestrane_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kestrane_testsupport PUBLIC kestrane_options kestrane_base GTest::gtest)
