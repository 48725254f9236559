# The management role reads and writes GBK texts, digests passwords and parses its accounts file.
target_link_libraries(kestrane-lab PRIVATE kestrane_base)
target_include_directories(kestrane-lab PRIVATE ${RAPIDJSON_INCLUDE_DIR})
