# The tagclient SDK: what `cmake --install` puts where, for the runtime (component libtagclient) and for
# building clients (component libtagclient-dev).
#
#   lib/libtagclient.so.1, lib/libqzoleaut.so.1     runtime: the C API and the OLE Automation services
#                                                   (VariantClear, SysFreeString, ...) its values need
#   include/tagclient.h, include/platform/oleauto.h the C API and the platform types it uses; together
#                                                   they compile as C or C++ with nothing else installed
#   lib/libtagclient.so, lib/libqzoleaut.so         link names
#   lib/cmake/tagclient/                            find_package(tagclient): target tagclient::tagclient
#   lib/pkgconfig/tagclient.pc                      pkg-config --cflags --libs tagclient
if(WIN32 OR NOT TARGET tagclient)
  return()
endif()

include(CMakePackageConfigHelpers)
set(TAGCLIENT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tagclient)

install(TARGETS tagclient qzoleaut EXPORT tagclientTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtagclient NAMELINK_SKIP
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtagclient-dev
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libtagclient)
install(TARGETS tagclient qzoleaut
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtagclient-dev NAMELINK_ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/toolkit/include/tagclient.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT libtagclient-dev)
install(FILES ${PROJECT_SOURCE_DIR}/platform/include/platform/oleauto.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/platform COMPONENT libtagclient-dev)

install(EXPORT tagclientTargets NAMESPACE tagclient:: FILE tagclientTargets.cmake
        DESTINATION ${TAGCLIENT_CMAKE_DIR} COMPONENT libtagclient-dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tagclientConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/sdk/tagclientConfig.cmake
                              INSTALL_DESTINATION ${TAGCLIENT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sdk/tagclientConfigVersion.cmake
                                 VERSION ${TAGCLIENT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sdk/tagclientConfig.cmake ${PROJECT_BINARY_DIR}/sdk/tagclientConfigVersion.cmake
        DESTINATION ${TAGCLIENT_CMAKE_DIR} COMPONENT libtagclient-dev)

# pkg-config: paths relative to the .pc file's prefix, so a tree moved or installed under DESTDIR works
# with PKG_CONFIG_SYSROOT_DIR or --define-prefix.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TAGCLIENT_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(TAGCLIENT_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(TAGCLIENT_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(TAGCLIENT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tagclient.pc.in ${PROJECT_BINARY_DIR}/sdk/tagclient.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sdk/tagclient.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT libtagclient-dev)
