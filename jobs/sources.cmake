# The jobs layer's source files, for the library and the fault-injection build.
set(CORVANE_JOBS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/paths.cpp ${CMAKE_CURRENT_LIST_DIR}/file_jobs.cpp)
