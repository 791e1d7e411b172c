# Makes the Debian package from the build's install rules, with dpkg-deb:
#   cmake -DBUILD= -DSRC= -DOUT= -DPACKAGE= -DVERSION= -DARCH= -DMAINTAINER= -DEPOCH= -DCXX=
#         [-DSTATIC=PATH-BELOW-/usr] -P Deb.cmake
# Whatever the build's umask, user and file system, the package comes out the same: modes
# are set here (0755 folders and programs, 0644 the rest), owners are root's, every time
# stamp is EPOCH, and Installed-Size counts file sizes, not the blocks of the build's folders.
set(stage ${BUILD}/debian/root)
set(work ${BUILD}/debian/work)
file(REMOVE_RECURSE ${stage} ${work})
file(MAKE_DIRECTORY ${work}/debian)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "${cmd}: ${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} -E env DESTDIR=${stage}
    ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr --strip)
file(INSTALL ${SRC}/cmake/debian/lintian-overrides
     DESTINATION ${stage}/usr/share/lintian/overrides)
file(RENAME ${stage}/usr/share/lintian/overrides/lintian-overrides
     ${stage}/usr/share/lintian/overrides/${PACKAGE})
run(chmod -R u=rwX,go=rX ${stage})

# What the package holds, in one order whatever the file system's.
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${stage} ${stage}/*)
list(SORT entries)
set(size_kib 1)  # the top folder
set(md5sums "")
set(elves "")
foreach(e ${entries})
  if(IS_SYMLINK ${stage}/${e} OR IS_DIRECTORY ${stage}/${e})
    math(EXPR size_kib "${size_kib} + 1")
    continue()
  endif()
  file(READ ${stage}/${e} magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    # The compilers' version strings, which debhelper's strip removes as well.
    run(objcopy --remove-section=.comment ${stage}/${e})
    if(NOT e STREQUAL "usr/${STATIC}")
      list(APPEND elves -e${stage}/${e})
    endif()
  endif()
  file(SIZE ${stage}/${e} bytes)
  math(EXPR size_kib "${size_kib} + (${bytes} + 1023) / 1024")
  file(MD5 ${stage}/${e} sum)
  string(APPEND md5sums "${sum}  ${e}\n")
endforeach()

# Depends: the shared libraries of the dynamically linked programs.
set(depends "")
if(elves)
  file(WRITE ${work}/debian/control
       "Source: ${PACKAGE}\n\nPackage: ${PACKAGE}\nArchitecture: any\n")
  execute_process(COMMAND dpkg-shlibdeps -O ${elves} WORKING_DIRECTORY ${work}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-shlibdeps (Debian package dpkg-dev): ${err}")
  endif()
  string(REGEX MATCH "shlibs:Depends=([^\n]*)" found "${out}")
  set(depends "${CMAKE_MATCH_1}")
endif()

# Built-Using: the sources of the C and C++ runtime libraries linked into the static
# installer, whose licences want their exact versions named.
set(built_using "")
if(STATIC)
  set(sources "")
  foreach(lib libc.a libstdc++.a libgcc.a libgcc_eh.a)
    execute_process(COMMAND ${CXX} -print-file-name=${lib} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path "${path}" REALPATH)
    execute_process(COMMAND dpkg-query -S ${path} OUTPUT_VARIABLE owner
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      continue()  # not from a Debian package: nothing to name
    endif()
    string(REGEX REPLACE "[:,].*" "" owner "${owner}")
    run(dpkg-query -W "-f=\${source:Package} (= \${source:Version})" ${owner})
    list(APPEND sources "${out}")
  endforeach()
  list(REMOVE_DUPLICATES sources)
  list(SORT sources)
  string(REPLACE ";" ", " built_using "${sources}")
endif()

file(READ ${SRC}/cmake/debian/description description)
set(control "Package: ${PACKAGE}\nVersion: ${VERSION}\nArchitecture: ${ARCH}\n")
string(APPEND control "Maintainer: ${MAINTAINER}\nInstalled-Size: ${size_kib}\n")
if(depends)
  string(APPEND control "Depends: ${depends}\n")
endif()
string(APPEND control "Recommends: apache2-bin, curl\n")
if(built_using)
  string(APPEND control "Built-Using: ${built_using}\n")
endif()
string(APPEND control "Section: admin\nPriority: optional\n${description}")

file(MAKE_DIRECTORY ${stage}/DEBIAN)
file(WRITE ${stage}/DEBIAN/control "${control}")
file(WRITE ${stage}/DEBIAN/md5sums "${md5sums}")
run(chmod -R u=rwX,go=rX ${stage}/DEBIAN)
run(find ${stage} -exec touch -h -d @${EPOCH} {} +)

set(threads "")
execute_process(COMMAND dpkg-deb --help OUTPUT_VARIABLE help ERROR_QUIET)
if(help MATCHES "--threads-max")
  set(threads --threads-max=1)  # one compressor thread: the same bytes on any machine
endif()
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH}
    dpkg-deb --root-owner-group ${threads} -Zxz --build ${stage} ${OUT})
message(STATUS "${OUT}")
