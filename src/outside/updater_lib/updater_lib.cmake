# The outside download library, loaded by name at each use (export "HttpDownLoad").
add_library(Updater SHARED ${CMAKE_CURRENT_LIST_DIR}/updater_lib.cpp)
target_link_libraries(Updater PRIVATE kestrane_options CURL::libcurl PkgConfig::NETTLE)
set_target_properties(Updater PROPERTIES CXX_VISIBILITY_PRESET hidden PREFIX "lib" OUTPUT_NAME Updater)
target_link_options(Updater PRIVATE -Wl,--no-undefined)
kestrane_dist_program(Updater)
