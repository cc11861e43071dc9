# The engine's source files: the one list that the library, the fuzz build
# and the fault-injection build compile.
set(CORVANE_ENGINE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cipher/entropy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cipher/jumble.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cipher/key_schedule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cipher/keystream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/container/block_stream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/container/container_header.cpp
    ${CMAKE_CURRENT_LIST_DIR}/container/job_context.cpp
    ${CMAKE_CURRENT_LIST_DIR}/container/legacy_header.cpp
    ${CMAKE_CURRENT_LIST_DIR}/container/meter.cpp)
