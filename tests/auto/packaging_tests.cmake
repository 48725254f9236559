kestrane_add_gtest(packaging_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/packaging_tests.cpp
  LIBS kestrane_packaging GTest::gtest_main
  LABELS unit)

# Against the lab's private sshd (each test starts its own on a free port).
kestrane_add_gtest(upload_sftp_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/upload_sftp_tests.cpp
  LIBS kestrane_packaging GTest::gtest_main
  LABELS integration
  TIMEOUT 180)

# kestrane-cli end to end: lab servers, a real bandwidth test, PSFTP and the lab's sshd.
kestrane_add_gtest(upload_cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/upload_cli_tests.cpp
  LIBS kestrane_core kestrane_labfixture GTest::gtest_main
  LABELS integration
  SERIAL
  TIMEOUT 600)
target_include_directories(upload_cli_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})
