# What `cmake --install` puts in place besides the programs (whose install
# rules sit beside their targets): the desktop entry, the icon, the AppStream
# metainfo, the man pages and the package's copyright notice. Included from
# the root after every program's folder, so that the optional command-line
# program is known here when it is built.
include(GNUInstallDirs)

# The application's reverse-DNS id: names the desktop entry, the icon and
# the metainfo, which must agree.
set(VANTRIX_APP_ID "org.vantrix.Vantrix")

# The command-line compare is installed only by builds that have it.
set(VANTRIX_PROGRAMS vantrix)
if(TARGET vantrix-diff)
  list(APPEND VANTRIX_PROGRAMS vantrix-diff)
  install(TARGETS vantrix-diff RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/share/applications/${VANTRIX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        FILES_MATCHING PATTERN "${VANTRIX_APP_ID}.png")

# The metainfo names the web page and contact of this build, and every
# program the build installs.
set(VANTRIX_METAINFO_BINARIES "")
foreach(program IN LISTS VANTRIX_PROGRAMS)
  string(APPEND VANTRIX_METAINFO_BINARIES "\n    <binary>${program}</binary>")
endforeach()
set(VANTRIX_METAINFO ${CMAKE_BINARY_DIR}/share/metainfo/${VANTRIX_APP_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/share/metainfo/${VANTRIX_APP_ID}.metainfo.xml.in
               ${VANTRIX_METAINFO} @ONLY)
install(FILES ${VANTRIX_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Man pages carry the version, and are installed gzipped (-n: no name or
# time stamp inside, so the same page always gives the same file).
find_program(VANTRIX_GZIP gzip REQUIRED)
set(man_pages "")
foreach(program IN LISTS VANTRIX_PROGRAMS)
  set(page ${CMAKE_BINARY_DIR}/share/man/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/share/man/${program}.1.in ${page} @ONLY)
  add_custom_command(
    OUTPUT ${page}.gz
    # Every generator, not only Ninja, then finds the output's folder.
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man
    COMMAND ${VANTRIX_GZIP} -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the man page ${program}.1"
    VERBATIM)
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(vantrix_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The copyright notice and the changelog, where Debian looks for them.
set(VANTRIX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vantrix)
set(changelog ${CMAKE_BINARY_DIR}/share/doc/changelog.gz)
add_custom_command(
  OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/doc
  COMMAND ${VANTRIX_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/share/doc/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/share/doc/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(vantrix_changelog ALL DEPENDS ${changelog})
install(FILES ${PROJECT_SOURCE_DIR}/share/doc/copyright ${changelog} DESTINATION ${VANTRIX_DOC_DIR})
