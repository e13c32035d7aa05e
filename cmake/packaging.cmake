# Windows: both programs, the quick start, the licence and a first data file
# side by side in one folder named with the version. Elsewhere: the usual
# places, programs in bin/. Both stripped of their symbols.
include(GNUInstallDirs)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  install(TARGETS tavrel tavrel-pauser RUNTIME DESTINATION .)
  # Opened from Explorer, Tavrel starts in its own folder and finds the
  # pauser there: only the compiler is left to set.
  file(WRITE ${CMAKE_BINARY_DIR}/tavrel_data.qv "\r\ntavrel-pauser.exe\r\n")
  install(FILES packaging/QuickStart-zh.txt ${CMAKE_BINARY_DIR}/tavrel_data.qv DESTINATION .)
  # Notepad before Windows 10 shows a bare LF file as one line.
  file(READ LICENSE licence)
  string(REPLACE "\n" "\r\n" licence "${licence}")
  file(WRITE ${CMAKE_BINARY_DIR}/LICENSE.txt "${licence}")
  install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  install(TARGETS tavrel tavrel-pauser RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS tavrel-start RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tavrel)
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavrel)
  install(FILES README.md packaging/copyright DESTINATION ${doc})
  # Compressed as Debian wants them: at most, and without a time stamp.
  foreach(file changelog tavrel.1 tavrel-pauser.1)
    add_custom_command(OUTPUT ${file}.gz
      COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${file} > ${file}.gz
      DEPENDS packaging/${file} VERBATIM)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS changelog.gz tavrel.1.gz tavrel-pauser.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${doc})
  install(FILES ${CMAKE_BINARY_DIR}/tavrel.1.gz ${CMAKE_BINARY_DIR}/tavrel-pauser.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "Tavrel")
set(CPACK_PACKAGE_CONTACT "Tavrel developers <tavrel@users.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Compile and run single-file C++ programs with your own g++")
set(CPACK_PACKAGE_DESCRIPTION "\
Tavrel is a small interactive console program, with a Chinese interface, for
people who learn C++ with a g++ they installed themselves. Type the path of
one .cpp file: Tavrel compiles it with the configured compiler and options
and starts it in a new terminal window (a new tmux window inside tmux, else
a terminal emulator), directly or through tavrel-pauser, which keeps the
window open and shows how the program ended, how long it ran and its peak
memory.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tmux | x-terminal-emulator")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
