# PSFTP: the transfer program of result packages, over SFTP.
add_executable(PSFTP
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sftp_transfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/upload_account.cpp)
target_link_libraries(PSFTP PRIVATE kestrane_options kestrane_process kestrane_settings kestrane_base PkgConfig::LIBSSH2)
kestrane_dist_program(PSFTP)
