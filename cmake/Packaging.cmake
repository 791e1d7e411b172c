# What cmake --install, the Debian package and the release tarball hold. The tools go on
# PATH; the installer does not, since a command called install would shadow the system's
# own: authors copy it from lib/cgi-install into their products.
set(INSTALLER_DIR lib/${PACKAGE_NAME})
if(TARGET install_static)
  install(TARGETS install_static RUNTIME DESTINATION ${INSTALLER_DIR})
else()
  install(TARGETS install_bin RUNTIME DESTINATION ${INSTALLER_DIR})
endif()
# The authors' tools are installed by tools/; every manual page, theirs included, here.
file(GLOB MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.[1-8])
foreach(page ${MAN_PAGES})
  string(REGEX REPLACE ".*\\.([1-8])$" "\\1" section ${page})
  install(FILES ${page} DESTINATION share/man/man${section})
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/webapp DESTINATION share/${PACKAGE_NAME}/examples
        USE_SOURCE_PERMISSIONS)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
        DESTINATION share/doc/${PACKAGE_NAME})

# The Debian package, from the same rules (cpack -G DEB in the build folder).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "cgi-install maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console installer for CGI web applications served by Apache")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  # The installer is static, the tools may not be: their libraries become dependencies.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)

# make release: the tarball a product author unpacks, beside the build folder's package.
set(RELEASE_NAME ${PACKAGE_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
if(TARGET install_static)
  set(release_args -DNAME=${RELEASE_NAME} -DSRC=${CMAKE_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}
      -DSTRIP=${CMAKE_STRIP} -DINSTALLER=$<TARGET_FILE:install_static>)
  set(release_deps install_static)
  if(TARGET install_check)
    list(APPEND release_args -DCHECK=$<TARGET_FILE:install_check>)
    list(APPEND release_deps install_check)
  endif()
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} ${release_args} -P ${CMAKE_SOURCE_DIR}/cmake/Release.cmake
    DEPENDS ${release_deps} VERBATIM)
else()
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E echo "no static C library here (Debian: libc6-dev): no release"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()
