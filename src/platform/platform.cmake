add_library(kestrane_platform STATIC
  ${CMAKE_CURRENT_LIST_DIR}/program_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/atomic_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codepage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paths.cpp)
target_link_libraries(kestrane_platform PUBLIC kestrane_options Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_platform)
