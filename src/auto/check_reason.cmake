# Reason texts of the environment verdicts (stored with invalid automatic results).
kestrane_module(kestrane_checkreason
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_reason.cpp
  LIBS kestrane_settings)
target_link_libraries(kestrane_core INTERFACE kestrane_checkreason)
