# The stand-ins in tools/ are 64-bit programs (the engine is a 64-bit application).
# The 32-bit tree builds them with the 64-bit toolchain into its own bin directory,
# so that its tests find them beside the test programs.
include(ExternalProject)
ExternalProject_Add(tools64
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
  BINARY_DIR ${CMAKE_BINARY_DIR}/tools64
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${CMAKE_BINARY_DIR}/bin
  CMAKE_GENERATOR Ninja
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
