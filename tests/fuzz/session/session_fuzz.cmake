kestrane_add_fuzz(login_reply_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/login_reply_fuzz.cpp
  LIBS kestrane_session
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
