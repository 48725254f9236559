if(NOT TARGET PkgConfig::TINYXML)
  pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
endif()
# Ed25519 lives in nettle's public-key half.
if(NOT TARGET PkgConfig::HOGWEED)
  pkg_check_modules(HOGWEED REQUIRED IMPORTED_TARGET hogweed)
endif()

# The update manifest reader, shared by Kestrane's update client and the Update program.
kestrane_module(kestrane_manifest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_manifest.cpp
  LIBS kestrane_base kestrane_platform PkgConfig::NETTLE PkgConfig::HOGWEED PkgConfig::TINYXML)

# Process and folder functions of the program folder, shared with the Update program.
kestrane_module(kestrane_update_process
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_process.cpp
  LIBS kestrane_process kestrane_platform Threads::Threads)

# Kestrane's update client: the start-up pass and the manual check.
kestrane_module(kestrane_update_client
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater.cpp
  LIBS kestrane_manifest kestrane_update_process kestrane_download kestrane_base kestrane_process
       CURL::libcurl Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_update_client)
