# jsoncpp 1.9.5, built from the distribution's source package that scripts/setup keeps
# in .cache/jsoncpp (never copied into the repository).
file(GLOB HALCYRA_JSONCPP_TARBALL ${CMAKE_SOURCE_DIR}/.cache/jsoncpp/libjsoncpp_1.9.5.orig.tar.*)
if(NOT HALCYRA_JSONCPP_TARBALL)
  message(FATAL_ERROR "jsoncpp 1.9.5 source package not found in .cache/jsoncpp: run scripts/setup")
endif()
list(GET HALCYRA_JSONCPP_TARBALL 0 HALCYRA_JSONCPP_TARBALL)

set(HALCYRA_JSONCPP_DIR ${CMAKE_BINARY_DIR}/_deps/jsoncpp)
if(NOT EXISTS ${HALCYRA_JSONCPP_DIR}/src/lib_json/json_value.cpp)
  file(REMOVE_RECURSE ${HALCYRA_JSONCPP_DIR} ${CMAKE_BINARY_DIR}/_deps/jsoncpp-unpack)
  file(ARCHIVE_EXTRACT INPUT ${HALCYRA_JSONCPP_TARBALL} DESTINATION ${CMAKE_BINARY_DIR}/_deps/jsoncpp-unpack)
  file(GLOB HALCYRA_JSONCPP_TOP ${CMAKE_BINARY_DIR}/_deps/jsoncpp-unpack/*)
  file(RENAME ${HALCYRA_JSONCPP_TOP} ${HALCYRA_JSONCPP_DIR})
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/_deps/jsoncpp-unpack)
endif()

add_library(jsoncpp STATIC
  ${HALCYRA_JSONCPP_DIR}/src/lib_json/json_reader.cpp
  ${HALCYRA_JSONCPP_DIR}/src/lib_json/json_value.cpp
  ${HALCYRA_JSONCPP_DIR}/src/lib_json/json_writer.cpp)
target_include_directories(jsoncpp SYSTEM PUBLIC ${HALCYRA_JSONCPP_DIR}/include)
target_compile_options(jsoncpp PRIVATE -w)
