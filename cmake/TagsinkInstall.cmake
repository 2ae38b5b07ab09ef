# Install rules of the programs (component tagsink): the desktop program, the headless runner with its
# systemd unit, and the command-line tools. The tagclient SDK has its own file (TagclientSdk.cmake).
if(WIN32)
  return()
endif()

foreach(program tagsink tagsink-run tagsink-make-sample tagsink-project tagclient-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tagsink)
  endif()
endforeach()

if(TARGET tagsink-run)
  # tagsink-run@NAME.service records /etc/tagsink/NAME.dat; systemd's stop (SIGTERM) is the runner's Stop.
  set(TAGSINK_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
      "Where the systemd unit is installed, relative to the install prefix")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/tagsink-run@.service.in
                 ${PROJECT_BINARY_DIR}/packaging/tagsink-run@.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/tagsink-run@.service
          DESTINATION ${TAGSINK_SYSTEMD_UNIT_DIR} COMPONENT tagsink)
endif()
