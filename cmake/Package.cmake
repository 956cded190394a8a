# The Debian package (`cpack` in a build folder, or scripts/package): the
# files of cmake/Install.cmake under /usr, with the shared-library
# dependencies worked out from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Orvello")
set(CPACK_PACKAGE_CONTACT "Orvello <${VANTRIX_FEEDBACK_ADDRESS}>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_STRIP_FILES ON)

set(VANTRIX_PACKAGE_MAINTAINER "Orvello <${VANTRIX_FEEDBACK_ADDRESS}>"
    CACHE STRING "Maintainer named by the Debian package")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTRIX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "database")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${VANTRIX_WEB_HOST}/index.php?l=2")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The first line is the summary, the rest the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "compare the structure of two databases
Vantrix compares the structure of two databases, on MySQL or MariaDB,
PostgreSQL, SQLite and cubeSQL in any mix: which tables of the first are
missing in the second, and which fields differ in name or type. The result
can be exported as an HTML page, Markdown or JSON. It only reads the schemas
and never writes to the databases it compares.")
if(TARGET vantrix-diff)
  string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION "
.
The package holds the window (vantrix) and the command-line compare for
scripts and continuous integration (vantrix-diff).")
endif()

include(CPack)
