# libNetworkStatus.so: the outside probe library, loaded by name at run time. Plain C on libc
# only, so it carries no C++ runtime into the programs that load it.
add_library(NetworkStatus SHARED ${CMAKE_CURRENT_LIST_DIR}/network_status.c)
set_target_properties(NetworkStatus PROPERTIES
  C_STANDARD 11
  C_STANDARD_REQUIRED ON
  C_EXTENSIONS ON
  C_VISIBILITY_PRESET hidden
  LINKER_LANGUAGE C)
# Its interface header lives with the platform headers, where the programs include it from.
target_include_directories(NetworkStatus PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(NetworkStatus PRIVATE -Wall -Wextra -Wpedantic)
target_link_options(NetworkStatus PRIVATE -Wl,--no-undefined -Wl,--as-needed)
if(KESTRANE_SANITIZE)
  target_compile_options(NetworkStatus PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(NetworkStatus PRIVATE -fsanitize=address,undefined)
endif()
kestrane_dist_program(NetworkStatus)
