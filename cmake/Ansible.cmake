# The Ansible collection cgi_install.deploy (contrib/ansible): installed where Ansible looks
# for collections on Debian, so that `cmake --install` and the Debian package give it to
# ansible-playbook without ansible-galaxy. The release tarball carries it too (Release.cmake).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/contrib/ansible/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ansible/collections/ansible_collections/cgi_install/deploy
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                              WORLD_READ WORLD_EXECUTE
        PATTERN __pycache__ EXCLUDE)
