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
