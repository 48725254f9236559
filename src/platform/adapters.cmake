# Network adapters: first adapter, hardware addresses, default route.
kestrane_module(kestrane_adapters
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/adapters.cpp)
target_link_libraries(kestrane_core INTERFACE kestrane_adapters)
