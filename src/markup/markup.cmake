# The program's own XML document, used for every XML file and XML reply.
kestrane_module(kestrane_markup
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/markup_document.cpp
  LIBS kestrane_base)
target_link_libraries(kestrane_core INTERFACE kestrane_markup)
