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
