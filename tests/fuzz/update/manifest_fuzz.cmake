kestrane_add_fuzz(manifest_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/manifest_fuzz.cpp
  LIBS kestrane_manifest
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
