# The manual page of the command line, vireon.1, written from the built program's --help
# text (cmake/WriteManPage.cmake) and compressed as Debian installs manual pages.
set(VIREON_MAN_PAGE ${CMAKE_BINARY_DIR}/vireon.1)
add_custom_command(OUTPUT ${VIREON_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:vireon> -DOUTPUT=${VIREON_MAN_PAGE}
          -P ${PROJECT_SOURCE_DIR}/cmake/WriteManPage.cmake
  # -n: no name or time stamp in the header, so the same text gives the same file.
  COMMAND gzip -9nf ${VIREON_MAN_PAGE}
  DEPENDS vireon ${PROJECT_SOURCE_DIR}/cmake/WriteManPage.cmake
  COMMENT "Writing the manual page vireon.1 from vireon --help"
  VERBATIM)
add_custom_target(vireon_man_page ALL DEPENDS ${VIREON_MAN_PAGE}.gz)
install(FILES ${VIREON_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
