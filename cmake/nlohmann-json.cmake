# nlohmann/json, header only, from Debian's nlohmann-json3-dev. The Windows
# build must not search the build machine's /usr/include, so both builds take
# a copy of the headers staged in the build folder.
find_path(CORVANE_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH)
if(NOT CORVANE_NLOHMANN_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
endif()
file(COPY ${CORVANE_NLOHMANN_JSON_INCLUDE}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party/include)
add_library(corvane_nlohmann_json INTERFACE)
target_include_directories(corvane_nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)
add_library(corvane::nlohmann_json ALIAS corvane_nlohmann_json)
