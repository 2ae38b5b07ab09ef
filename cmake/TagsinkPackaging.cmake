# Debian packages through CPack (bash scripts/package-deb.sh makes them):
#   tagsink           the desktop program, tagsink-run with its systemd unit, the command-line tools
#   libtagclient1     the shared libraries (libtagclient.so.1, libqzoleaut.so.1)
#   libtagclient-dev  headers, link names, the CMake package and the pkg-config file
# Dependencies on system libraries come from dpkg-shlibdeps; those between the three are stated here.
if(WIN32 OR NOT TARGET tagclient)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tagsink)
set(CPACK_PACKAGE_VENDOR "Tagsink developers")
set(CPACK_PACKAGE_CONTACT "Tagsink developers <tagsink@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL tagsink libtagclient libtagclient-dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds our own libraries here while it looks at the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_LIBTAGCLIENT_PACKAGE_NAME libtagclient${TAGCLIENT_SOVERSION})
set(CPACK_DEBIAN_LIBTAGCLIENT_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBTAGCLIENT_DESCRIPTION
    "OPC Data Access client library\ntagclient connects to OPC DA servers through a flat C API: sessions,\ngroups, items, reads, writes, subscriptions and browsing.")
set(CPACK_DEBIAN_LIBTAGCLIENT-DEV_PACKAGE_NAME libtagclient-dev)
set(CPACK_DEBIAN_LIBTAGCLIENT-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBTAGCLIENT-DEV_PACKAGE_DEPENDS "libtagclient${TAGCLIENT_SOVERSION} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBTAGCLIENT-DEV_DESCRIPTION
    "OPC Data Access client library (development files)\nThe C header, link names, a CMake package (find_package(tagclient)) and a\npkg-config file for building tagclient clients.")
set(CPACK_DEBIAN_TAGSINK_PACKAGE_NAME tagsink)
set(CPACK_DEBIAN_TAGSINK_PACKAGE_DEPENDS "libtagclient${TAGCLIENT_SOVERSION} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TAGSINK_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql")
set(CPACK_DEBIAN_TAGSINK_DESCRIPTION
    "Records live OPC DA values into SQL tables\nTagsink moves values from OPC DA servers into relational database tables\nthrough ODBC: the desktop program, the headless runner tagsink-run (with a\nsystemd unit) and the command-line tools.")

include(CPack)
