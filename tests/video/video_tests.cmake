# The video address resolvers: their cuts through the fetch seam, and the whole path against
# the lab's video sites (kestrane-cli resolve included).
kestrane_add_gtest(video_resolver_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_resolvers_test.cpp
  LIBS kestrane_resolvers
  LABELS unit)
kestrane_add_gtest(video_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_lab_test.cpp
  LIBS kestrane_resolvers kestrane_labfixture
  LABELS integration
  TIMEOUT 300)
target_include_directories(video_lab_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})

# The record, its history row and the texts exchanged with the player.
kestrane_add_gtest(video_record_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_record_test.cpp
  LIBS kestrane_video
  LABELS unit)

# The engine window and the page, offscreen; with the player library, real plays of the lab's
# clips.
if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(video_ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_ui_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_video_ui kestrane_labfixture Qt6::Test
    LABELS gui integration
    TIMEOUT 600)
endif()

# kestrane-cli video: the player offscreen against the lab.
if(KESTRANE_GUI)
  kestrane_add_gtest(video_cli_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_cli_test.cpp
    LIBS kestrane_base kestrane_labfixture
    LABELS integration
    TIMEOUT 600)
  target_include_directories(video_cli_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})
endif()
