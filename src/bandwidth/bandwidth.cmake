# The bandwidth test: server catalogue and choice, the measuring engine, the result record.
kestrane_module(kestrane_bandwidth
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/band_statistics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_selection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_catalogue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/band_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_network.cpp
    ${CMAKE_CURRENT_LIST_DIR}/network_speed.cpp
  LIBS kestrane_base kestrane_markup kestrane_settings kestrane_history kestrane_probes kestrane_packaging
       kestrane_transport Boost::regex Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_bandwidth)

# The file the upload phase sends ("upload_local_file_path" = TestFile\10MB.rar): random bytes,
# so nothing on the way can shrink it.
set(KESTRANE_UPLOAD_FILE ${KESTRANE_DIST_DIR}/TestFile/10MB.rar)
add_custom_command(OUTPUT ${KESTRANE_UPLOAD_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRANE_DIST_DIR}/TestFile
  COMMAND head -c 10485760 /dev/urandom > ${KESTRANE_UPLOAD_FILE}.tmp
  COMMAND ${CMAKE_COMMAND} -E rename ${KESTRANE_UPLOAD_FILE}.tmp ${KESTRANE_UPLOAD_FILE}
  COMMENT "Making TestFile/10MB.rar"
  VERBATIM)
add_custom_target(kestrane_upload_file DEPENDS ${KESTRANE_UPLOAD_FILE})
set_property(GLOBAL APPEND PROPERTY KESTRANE_DIST_STEPS kestrane_upload_file)
