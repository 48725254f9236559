kestrane_add_gtest(markup_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/markup_document_test.cpp
  LIBS kestrane_markup
  LABELS unit)
