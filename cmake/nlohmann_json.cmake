# nlohmann_json::nlohmann_json. A cross build takes the header-only library
# from the build machine through a folder that holds only its headers (never
# /usr/include itself, whose C headers would shadow the target's).
find_package(nlohmann_json 3 QUIET)
if(NOT TARGET nlohmann_json::nlohmann_json)
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    message(FATAL_ERROR "nlohmann-json3-dev is not installed")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK /usr/include/nlohmann ${dir}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir})
endif()
