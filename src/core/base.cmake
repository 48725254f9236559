# The foundation every module builds on: properties, stored values, logs and the
# shared session data.
kestrane_module(kestrane_base
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/c_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/properties_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/data_base.cpp
    ${CMAKE_CURRENT_LIST_DIR}/record_file.cpp
  LIBS kestrane_platform PkgConfig::NETTLE Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_base)
