# Reads the product version from resources/version.h, where alone it is written.
# Included before project(), it sets CORVANE_VERSION ("23.8") and
# CORVANE_HOMEPAGE. Run as a script (cmake -P cmake/version.cmake) it prints
# the version, so shell scripts name packages without a second copy of it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../resources/version.h corvane_version_lines
     REGEX "^#define CORVANE_(VERSION_MAJOR|VERSION_MINOR|WEB_ADDRESS_W) ")
foreach(line IN LISTS corvane_version_lines)
  if(line MATCHES "^#define CORVANE_VERSION_(MAJOR|MINOR) +([0-9]+)$")
    set(CORVANE_VERSION_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  elseif(line MATCHES "^#define CORVANE_WEB_ADDRESS_W L\"([^\"]+)\"$")
    set(CORVANE_HOMEPAGE ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT DEFINED CORVANE_VERSION_MAJOR OR NOT DEFINED CORVANE_VERSION_MINOR)
  message(FATAL_ERROR "resources/version.h: CORVANE_VERSION_MAJOR and CORVANE_VERSION_MINOR must be plain numbers")
endif()
set(CORVANE_VERSION ${CORVANE_VERSION_MAJOR}.${CORVANE_VERSION_MINOR})

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${CORVANE_VERSION})
endif()
