# kestrane-lab: the operator's servers on loopback for tests and the demo. Every source file of
# lab/ belongs to it, so a new role needs only its files and a line in roles.def.
file(GLOB KESTRANE_LAB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_executable(kestrane-lab ${KESTRANE_LAB_SOURCES})
target_include_directories(kestrane-lab PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${HTTPLIB_INCLUDE_DIR})
# The lab speaks its protocols with code of its own and links nothing of the product, so a fault
# of the product cannot agree with itself in the tests.
target_link_libraries(kestrane-lab PRIVATE kestrane_options Threads::Threads)
kestrane_dist_program(kestrane-lab)

# Debian builds cpp-httplib as a shared library; clients of the lab (the test fixture) link it.
if(NOT TARGET PkgConfig::CPP_HTTPLIB)
  pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
endif()
