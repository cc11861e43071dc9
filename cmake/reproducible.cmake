# The same sources give the same bytes, whatever folder they are built in and
# whenever: anyone can rebuild a release and compare it with ours.

# No build folder in the binaries (__FILE__, debug and profile records).
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")

# Static libraries without member dates, owners and modes.
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

if(WIN32)
  # The PE header's link time would otherwise differ on every build.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
