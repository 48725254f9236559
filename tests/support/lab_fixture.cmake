# The lab fixture: starts kestrane-lab from the program folder for a test and reads its control
# endpoint. Tests that use it depend on kestrane-lab being built (kestrane_add_gtest does that
# through kestrane_dist).
add_library(kestrane_labfixture STATIC ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cpp)
target_include_directories(kestrane_labfixture PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_include_directories(kestrane_labfixture PRIVATE ${HTTPLIB_INCLUDE_DIR})
target_link_libraries(kestrane_labfixture PUBLIC kestrane_testsupport kestrane_base Threads::Threads
  PRIVATE PkgConfig::CPP_HTTPLIB)
