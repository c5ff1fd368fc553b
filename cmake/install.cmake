# Where the programs and their papers go when installed, and the packages
# made from that: a Debian package and a .tar.gz on Linux, a .zip from the
# Windows cross build. The version is the project's own (PROJECT_VERSION).
include(GNUInstallDirs)

# Programs other than the player are built only where their folder (and,
# for tavrel, CLI11) is there; install whatever this build has.
set(tavrel_programs tavrel-play)
foreach(program tavrel tavrel-sim)
  if(TARGET ${program})
    list(APPEND tavrel_programs ${program})
  endif()
endforeach()

file(GLOB tavrel_doc_pages CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/*.md)

if(WIN32)
  # One flat folder to unzip anywhere: the .exe files beside README.txt, the
  # docs in docs\. Markdown is plain enough to read, so it is shipped as .txt
  # with CRLF line ends, which every Windows editor opens on a double-click.
  install(TARGETS ${tavrel_programs} RUNTIME DESTINATION .)

  set(text_dir ${CMAKE_CURRENT_BINARY_DIR}/windows-text)
  set(text_files)
  foreach(source ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${tavrel_doc_pages})
    file(RELATIVE_PATH relative ${CMAKE_CURRENT_SOURCE_DIR} ${source})
    string(REGEX REPLACE "\\.md$" ".txt" relative ${relative})
    add_custom_command(
      OUTPUT ${text_dir}/${relative}
      COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${text_dir}/${relative}
              -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/crlf_text.cmake
      DEPENDS ${source} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/crlf_text.cmake
      VERBATIM)
    list(APPEND text_files ${text_dir}/${relative})
  endforeach()
  add_custom_target(tavrel_windows_text ALL DEPENDS ${text_files})
  install(FILES ${text_dir}/README.txt DESTINATION .)
  install(DIRECTORY ${text_dir}/docs/ DESTINATION docs FILES_MATCHING PATTERN "*.txt")

  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS ${tavrel_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  set(man_pages)
  foreach(program ${tavrel_programs})
    list(APPEND man_pages ${CMAKE_CURRENT_SOURCE_DIR}/docs/${program}.1)
  endforeach()
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # docs/ stays a subfolder so that the README's links still lead somewhere.
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavrel)
  install(FILES README.md DESTINATION ${doc_dir})
  install(FILES ${tavrel_doc_pages} DESTINATION ${doc_dir}/docs)

  if(TARGET tavrel)
    # bash-completion loads a command's completion on demand by its name.
    install(FILES completions/tavrel.bash
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
            RENAME tavrel)
  endif()

  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR DEB TGZ)
  else()
    set(CPACK_GENERATOR TGZ)
  endif()
endif()

set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "The tavrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "plays Commodore tape images (TAP files) to a Tavrel tape-drive emulator")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_SYSTEM_NAME windows-x64)
endif()

# Debian: the dependencies come from dpkg-shlibdeps, reading the binaries.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The tavrel developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The summary above is the first line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tavrel-play is the classic player: it plays a TAP file to a Tavrel device\n\
on a serial port. tavrel is the toolbox: it plays tapes, lists the serial\n\
ports, and makes, indexes and describes TAP files. tavrel-sim plays a\n\
Tavrel device on a pseudo-terminal, for trying things without hardware.")

include(CPack)
