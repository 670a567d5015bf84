# What a distribution's package holds beside the programs (man pages, bash
# completions, AppStream metadata, the copyright file and the changelog),
# and the Debian package made from them with CPack: packaging/build-deb.
option(QUELLOR_MANPAGES "Make the man pages from each program's --help (needs help2man)" ON)

set(quellor_docdir ${CMAKE_INSTALL_DATADIR}/doc/quellor)
set(quellor_programs quellor-batch quellor-check quellor-zip)
if(QUELLOR_WINDOW)
  list(APPEND quellor_programs quellor)
endif()

# The one-line description of each program's man page.
set(quellor_about "prepare Java ME MIDlet suites for installation from a memory card")
set(quellor-batch_about "prepare MIDlet suites as the Quellor window does, without it")
set(quellor-check_about "predict what a phone's installer will say about a MIDlet suite")
set(quellor-zip_about "drive Quellor's archive engine on a ZIP or JAR file")

find_program(QUELLOR_GZIP gzip REQUIRED)
set(generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

# Man pages, made from --help and --version when the programs are built.
if(QUELLOR_MANPAGES)
  find_program(QUELLOR_HELP2MAN help2man REQUIRED)
  set(pages)
  foreach(program ${quellor_programs})
    set(page ${generated}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${QUELLOR_HELP2MAN} --no-info --no-discard-stderr
              --name=${${program}_about} --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${QUELLOR_GZIP} -9nf ${page}
      DEPENDS ${program}
      COMMENT "Man page of ${program}" VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(quellor_manpages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The changelogs, compressed as Debian's policy has them.
foreach(log packaging/changelog CHANGELOG.md)
  get_filename_component(name ${log} NAME)
  add_custom_command(OUTPUT ${generated}/${name}.gz
    COMMAND ${QUELLOR_GZIP} -9nc ${CMAKE_SOURCE_DIR}/${log} > ${generated}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${log} VERBATIM)
  list(APPEND logs ${generated}/${name}.gz)
endforeach()
add_custom_target(quellor_changelogs ALL DEPENDS ${logs})
install(FILES ${logs} packaging/copyright DESTINATION ${quellor_docdir})

# One completion script serves every program; bash looks it up by name.
foreach(program ${quellor_programs})
  install(FILES packaging/completion/quellor
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()
if(QUELLOR_WINDOW)
  install(FILES packaging/quellor.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
          RENAME io.github.quellor.Quellor.metainfo.xml)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quellor developers")
set(CPACK_PACKAGE_CONTACT "The Quellor developers <quellor@users.noreply.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare Java ME MIDlet suites for a phone's memory card")
set(CPACK_PACKAGE_DESCRIPTION
    "Quellor prepares Java ME MIDlet suites (JAR files) so that a phone whose\n"
    "application manager installs from its memory card takes them: it cleans\n"
    "the MIDlet's name, rewrites the manifest, writes a JAD descriptor, and on\n"
    "request an IDS install descriptor and the MIDlet's icon.\n"
    "\n"
    "The package holds the window (quellor), the same preparation without a\n"
    "window (quellor-batch), a check of what a phone's installer will say\n"
    "(quellor-check) and a driver of the archive engine (quellor-zip).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
