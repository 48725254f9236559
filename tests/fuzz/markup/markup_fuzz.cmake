kestrane_add_fuzz(markup_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/markup_fuzz.cpp
  LIBS kestrane_markup
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)

kestrane_add_fuzz(markup_large_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/markup_large_fuzz.cpp
  LIBS kestrane_markup
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus_large)
