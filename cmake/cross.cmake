# The Windows build, made beside the native one so the end-to-end tests can
# run it under Wine.
set(TAVREL_EXE "")
if(TAVREL_CROSS AND NOT CMAKE_CROSSCOMPILING)
  find_program(TAVREL_MINGW_CXX x86_64-w64-mingw32-g++-posix)
  # GoogleTest as source, for the Windows unit tests.
  find_path(TAVREL_GTEST_SOURCE googletest/CMakeLists.txt PATHS ${CMAKE_SYSTEM_PREFIX_PATH}
            PATH_SUFFIXES src/googletest NO_DEFAULT_PATH)
  if(TAVREL_MINGW_CXX)
    include(ExternalProject)
    ExternalProject_Add(tavrel_win
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/win
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
                 -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=${TAVREL_TESTS} -DTAVREL_CROSS=OFF
                 -DTAVREL_GTEST_SOURCE=${TAVREL_GTEST_SOURCE}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON)
    set(TAVREL_EXE ${CMAKE_BINARY_DIR}/win/tavrel.exe)
  endif()
endif()
