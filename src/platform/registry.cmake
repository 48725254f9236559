# The stand-in for the registry, shared by the main program and the updater.
target_sources(kestrane_process PRIVATE ${CMAKE_CURRENT_LIST_DIR}/registry.cpp)
