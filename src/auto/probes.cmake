# Network probes: the binding of libNetworkStatus.so, the client address, the adapter's key.
kestrane_module(kestrane_probes
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/network_status_binding.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_address.cpp
    ${CMAKE_CURRENT_LIST_DIR}/local_mac.cpp
  LIBS kestrane_base kestrane_adapters ${CMAKE_DL_LIBS})
target_link_libraries(kestrane_core INTERFACE kestrane_probes)
