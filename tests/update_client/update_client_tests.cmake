add_library(stub_updater_digest SHARED ${CMAKE_CURRENT_LIST_DIR}/stub_updater.cpp)
target_compile_definitions(stub_updater_digest PRIVATE STUB_WITH_EXPORT)
add_library(stub_updater_noexport SHARED ${CMAKE_CURRENT_LIST_DIR}/stub_updater.cpp)

kestrane_add_gtest(download_binding_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_binding_test.cpp
  LIBS kestrane_download kestrane_labfixture PkgConfig::NETTLE
  LABELS integration)
add_dependencies(download_binding_tests stub_updater_digest stub_updater_noexport)
target_compile_definitions(download_binding_tests PRIVATE
  STUB_DIGEST_LIB="$<TARGET_FILE:stub_updater_digest>"
  STUB_NOEXPORT_LIB="$<TARGET_FILE:stub_updater_noexport>")

add_executable(update_stand_in ${CMAKE_CURRENT_LIST_DIR}/stand_in.cpp)

kestrane_add_gtest(update_manifest_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/manifest_test.cpp
  LIBS kestrane_manifest
  LABELS unit)

kestrane_add_gtest(update_manual_check_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/manual_check_test.cpp
  LIBS kestrane_update_client kestrane_labfixture
  LABELS integration)
add_dependencies(update_manual_check_tests update_stand_in)
target_compile_definitions(update_manual_check_tests PRIVATE
  STAND_IN_PROGRAM="$<TARGET_FILE:update_stand_in>")

kestrane_add_gtest(update_thread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_thread_test.cpp
  LIBS kestrane_update_client kestrane_labfixture
  LABELS integration)
add_dependencies(update_thread_tests update_stand_in)
target_compile_definitions(update_thread_tests PRIVATE
  STAND_IN_PROGRAM="$<TARGET_FILE:update_stand_in>")

kestrane_add_gtest(update_cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_cli_test.cpp
  LIBS kestrane_update_client kestrane_labfixture
  LABELS integration)
add_dependencies(update_cli_tests update_stand_in)
target_compile_definitions(update_cli_tests PRIVATE
  STAND_IN_PROGRAM="$<TARGET_FILE:update_stand_in>")
