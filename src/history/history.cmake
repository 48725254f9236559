# The per-user history database and the geographic reference database.
kestrane_module(kestrane_history
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/sqlite_db.cpp
    ${CMAKE_CURRENT_LIST_DIR}/history_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/geo_db.cpp
  LIBS SQLite::SQLite3 kestrane_base kestrane_checkreason kestrane_settings)
target_link_libraries(kestrane_core INTERFACE kestrane_history)

# The shipped geographic database is built from its SQL text.
set(KESTRANE_GEO_SQL ${CMAKE_SOURCE_DIR}/deploy/DB/Geo_CN.sql)
set(KESTRANE_GEO_DB ${KESTRANE_DIST_DIR}/DB/Geo_CN.db)
find_program(KESTRANE_SQLITE3_PROGRAM sqlite3 REQUIRED)
add_custom_command(OUTPUT ${KESTRANE_GEO_DB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRANE_DIST_DIR}/DB
  COMMAND ${CMAKE_COMMAND} -E remove -f ${KESTRANE_GEO_DB}.tmp
  COMMAND ${KESTRANE_SQLITE3_PROGRAM} -bail ${KESTRANE_GEO_DB}.tmp ".read '${KESTRANE_GEO_SQL}'"
  COMMAND ${CMAKE_COMMAND} -E rename ${KESTRANE_GEO_DB}.tmp ${KESTRANE_GEO_DB}
  DEPENDS ${KESTRANE_GEO_SQL}
  COMMENT "Building DB/Geo_CN.db"
  VERBATIM)
add_custom_target(kestrane_geo_db DEPENDS ${KESTRANE_GEO_DB})
set_property(GLOBAL APPEND PROPERTY KESTRANE_DIST_STEPS kestrane_geo_db)
