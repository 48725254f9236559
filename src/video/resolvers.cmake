# The video address resolvers: page address in, media addresses out.
kestrane_module(kestrane_resolvers
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/video_resolvers.cpp
  LIBS kestrane_base kestrane_markup kestrane_transport Boost::regex CURL::libcurl)
target_include_directories(kestrane_resolvers PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(kestrane_core INTERFACE kestrane_resolvers)
# RapidJSON 1.1's parser stack adds to a null pointer before its first allocation (a known fault
# of that release, fixed upstream later); with this check on, every parse of a reply would stop
# a sanitized run. Our own code here indexes strings and uses no raw pointer arithmetic.
# (A source option, since it must come after the shared -fsanitize options.)
if(KESTRANE_SANITIZE)
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/video_resolvers.cpp APPEND PROPERTY
    COMPILE_OPTIONS -fno-sanitize=pointer-overflow)
endif()
