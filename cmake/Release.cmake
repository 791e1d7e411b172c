# Lays out the release tarball:
#   cmake -DNAME= -DSRC= -DOUT= -DSTRIP= -DINSTALLER= -DEPOCH= [-DCHECK=] -P Release.cmake
# The folder NAME holds the stripped static installer, the tools, the manual pages, the
# sample product, the project's documents (copyright: the notices of the runtime libraries
# in the static installer) and SHA256SUMS over all of them. The tarball's entries are in
# name order, owned by root, dated EPOCH, with modes 0755 and 0644 whatever the umask.
set(stage ${OUT}/release/${NAME})
file(REMOVE_RECURSE ${OUT}/release)
file(MAKE_DIRECTORY ${stage}/man ${stage}/examples)

function(add_binary from to)
  file(COPY_FILE ${from} ${stage}/${to})
  execute_process(COMMAND ${STRIP} ${stage}/${to} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
add_binary(${INSTALLER} install)
if(CHECK)
  add_binary(${CHECK} install-check)
endif()
if(EXISTS ${OUT}/install-trial)
  file(COPY ${OUT}/install-trial DESTINATION ${stage})
endif()
file(GLOB pages ${SRC}/man/*.[1-8])
file(COPY ${pages} DESTINATION ${stage}/man)
file(COPY ${SRC}/examples/webapp DESTINATION ${stage}/examples)
file(COPY ${SRC}/contrib/ansible DESTINATION ${stage}/contrib)
file(COPY ${SRC}/README.md ${SRC}/LICENSE ${SRC}/CHANGELOG.md ${SRC}/cmake/debian/copyright
     DESTINATION ${stage})

file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(sums "")
foreach(f ${files})
  file(SHA256 ${stage}/${f} sum)
  string(APPEND sums "${sum}  ${f}\n")
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")

execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                        tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner
                        --mtime=@${EPOCH} --mode=u=rwX,go=rX -cf - ${NAME}
                COMMAND gzip -9n
                OUTPUT_FILE ${OUT}/${NAME}.tar.gz
                WORKING_DIRECTORY ${OUT}/release COMMAND_ERROR_IS_FATAL ANY)
file(SIZE ${stage}/install installer_size)
file(SIZE ${OUT}/${NAME}.tar.gz tar_size)
message(STATUS "${OUT}/${NAME}.tar.gz: ${tar_size} bytes; installer ${installer_size} bytes")
