# Binding of the outside download library (libUpdater.so), loaded at each call.
kestrane_module(kestrane_download
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_binding.cpp
  LIBS kestrane_base ${CMAKE_DL_LIBS})
target_link_libraries(kestrane_core INTERFACE kestrane_download)
