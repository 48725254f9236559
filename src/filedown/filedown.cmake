# The file download test: the timed fetch of one large file, its samples and its record.
kestrane_module(kestrane_filedown
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/file_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_down_speed.cpp
  LIBS kestrane_base kestrane_settings kestrane_history kestrane_packaging kestrane_transport
       kestrane_bandwidth Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_filedown)
