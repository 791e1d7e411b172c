# What cmake --install, the Debian package and the release tarball hold. The tools go on
# PATH; the installer does not, since a command called install would shadow the system's
# own: authors copy it from lib/cgi-install into their products. A further part of the
# package needs nothing but its own install() rules: the package is made from them.
set(INSTALLER_INSTALL_DIR lib/${PACKAGE_NAME}
    CACHE STRING "Where the installer goes, below the prefix (not on PATH)")
set(INSTALLER_MAINTAINER "The cgi-install developers <team@cgi-install.invalid>"
    CACHE STRING "The Debian package's Maintainer field: a packager puts their own")

if(TARGET install_static)
  install(TARGETS install_static RUNTIME DESTINATION ${INSTALLER_INSTALL_DIR})
else()
  install(TARGETS install_bin RUNTIME DESTINATION ${INSTALLER_INSTALL_DIR})
endif()

# Manual pages, the tools' included, compressed as Debian wants them (gzip -9n: no name,
# no time stamp, so the same page gives the same bytes).
file(GLOB MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.[1-8])
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
set(man_gz "")
foreach(page ${MAN_PAGES})
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\.([1-8])$" "\\1" section ${name})
  set(gz ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${page} ${gz}
    DEPENDS ${page} VERBATIM)
  list(APPEND man_gz ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

# The Debian changelog, made from CHANGELOG.md; its newest entry carries the build's date.
include(${CMAKE_SOURCE_DIR}/cmake/SourceDate.cmake)
source_date_epoch(${CMAKE_SOURCE_DIR} INSTALLER_SOURCE_DATE_EPOCH)
# Written only when it changes, so that a new date remakes what carries it.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/debian/epoch CONTENT "${INSTALLER_SOURCE_DATE_EPOCH}\n")
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/CHANGELOG.md -DOUT=${changelog}
          -DPACKAGE=${PACKAGE_NAME} -DMAINTAINER=${INSTALLER_MAINTAINER}
          -DLATEST_EPOCH=${INSTALLER_SOURCE_DATE_EPOCH}
          -P ${CMAKE_SOURCE_DIR}/cmake/Changelog.cmake
  COMMAND sh -c "gzip -9n < \"$1\" > \"$1.gz\"" sh ${changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/cmake/Changelog.cmake
          ${CMAKE_BINARY_DIR}/debian/epoch
  VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${man_gz} ${changelog}.gz)

install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/webapp
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${PACKAGE_NAME}/examples
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        PATTERN "*.cgi" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The licence's text is in the copyright file, with the notices of the runtime libraries
# that the static installer carries.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/debian/copyright
              ${changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: cmake --build BUILD --target deb (needs dpkg-dev). It is made from the
# install rules above and every other install() of the build, with dpkg-deb.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(DEB_FILE ${CMAKE_BINARY_DIR}/${PACKAGE_NAME}_${PROJECT_VERSION}_${DEB_ARCH}.deb)
set(INSTALLER_DEB_STATIC "")
if(TARGET install_static)
  set(INSTALLER_DEB_STATIC ${INSTALLER_INSTALL_DIR}/install)
endif()
add_custom_target(deb
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSRC=${CMAKE_SOURCE_DIR}
          -DOUT=${DEB_FILE} -DPACKAGE=${PACKAGE_NAME} -DVERSION=${PROJECT_VERSION}
          -DARCH=${DEB_ARCH} -DMAINTAINER=${INSTALLER_MAINTAINER}
          -DEPOCH=${INSTALLER_SOURCE_DATE_EPOCH} -DCXX=${CMAKE_CXX_COMPILER}
          -DSTATIC=${INSTALLER_DEB_STATIC}
          -P ${CMAKE_SOURCE_DIR}/cmake/Deb.cmake
  VERBATIM)
add_dependencies(deb package_docs)
foreach(t install_bin install_static install_check)
  if(TARGET ${t})
    add_dependencies(deb ${t})
  endif()
endforeach()

# make release: the tarball a product author unpacks, beside the build folder's package.
# Its install-check is linked as the installer is (the same sources as the packaged one), so
# that it runs wherever the installer runs.
set(RELEASE_NAME ${PACKAGE_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
if(TARGET install_static)
  set(release_args -DNAME=${RELEASE_NAME} -DSRC=${CMAKE_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}
      -DSTRIP=${CMAKE_STRIP} -DINSTALLER=$<TARGET_FILE:install_static>
      -DEPOCH=${INSTALLER_SOURCE_DATE_EPOCH})
  set(release_deps install_static)
  if(TARGET install_check)
    get_target_property(check_dir install_check SOURCE_DIR)
    get_target_property(sources install_check SOURCES)
    set(check_sources "")
    foreach(f ${sources})
      get_filename_component(f ${f} ABSOLUTE BASE_DIR ${check_dir})
      list(APPEND check_sources ${f})
    endforeach()
    add_executable(install_check_static EXCLUDE_FROM_ALL ${check_sources})
    target_include_directories(install_check_static PRIVATE
                               $<TARGET_PROPERTY:install_check,INCLUDE_DIRECTORIES>)
    target_link_libraries(install_check_static PRIVATE installer_files_lib)
    set_target_properties(install_check_static PROPERTIES OUTPUT_NAME install-check
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/static)
    target_compile_options(install_check_static PRIVATE ${STATIC_COMPILE_OPTIONS})
    target_link_options(install_check_static PRIVATE ${STATIC_LINK_OPTIONS})
    list(APPEND release_args -DCHECK=$<TARGET_FILE:install_check_static>)
    list(APPEND release_deps install_check_static)
  endif()
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} ${release_args} -P ${CMAKE_SOURCE_DIR}/cmake/Release.cmake
    DEPENDS ${release_deps} VERBATIM)
else()
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E echo "no static C library here (Debian: libc6-dev): no release"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()
