# What a release holds; scripts/package installs it into a staging folder and
# archives that. On Windows, the portable folder of the zip: both programs and
# the README, side by side. On Linux, corvane-cli and its manual page.
if(WIN32)
  if(TARGET corvane)
    install(TARGETS corvane RUNTIME DESTINATION .)
  endif()
  install(TARGETS corvane-cli RUNTIME DESTINATION .)
  # Windows line ends, so Notepad of any age shows it as written.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt ${PROJECT_BINARY_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
else()
  install(TARGETS corvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/cli/corvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
