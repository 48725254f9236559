# The management role reads and writes GBK texts (iconv, in glibc), digests passwords and parses
# its accounts file, all with code of its own rather than the product's.
target_link_libraries(kestrane-lab PRIVATE PkgConfig::NETTLE)
target_include_directories(kestrane-lab PRIVATE ${RAPIDJSON_INCLUDE_DIR})
