include(CMakePackageConfigHelpers)

install(TARGETS tarnplatform tarnconfigstore EXPORT tarnTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/tarn DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(TARN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarn-configstore)
install(EXPORT tarnTargets NAMESPACE tarn:: DESTINATION ${TARN_CMAKE_DIR})
configure_package_config_file(cmake/tarn-configstore-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore-config.cmake INSTALL_DESTINATION ${TARN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore-config-version.cmake DESTINATION ${TARN_CMAKE_DIR})

file(RELATIVE_PATH TARN_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/tarn-configstore.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarn-configstore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# For operators: manual pages and bash completion of both programs.
install(FILES docs/man/tarn-configstore.8 docs/man/knosh.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES docs/man/tarn-fleet.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES tools/completion/tarn-configstore.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME tarn-configstore)
install(FILES tools/completion/knosh.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME knosh)
