# What an operator installs, in four Debian packages as a multiarch system expects them (a
# 32-bit server on a 64-bit system takes the i386 plug-in and the amd64 tools):
#   tolvane-plugin  the plug-in, in this architecture's library folder      (Multi-Arch: same)
#   tolvane         tolvane-list, the list's home, its manuals and examples  (Multi-Arch: foreign)
#                   (the example list, and the Ansible playbook with its module)
#   tolvane-host    the stand-in host, in this architecture's library folder (Multi-Arch: same)
#   tolvane-dev     the host interface headers, the same on every architecture (all, foreign)
# `cmake --install` installs all four. No path of the build tree goes into what is installed
# (no RPATH; the packages' files are stripped).
# The plug-in and the host binary of this architecture: lib/i386-linux-gnu/tolvane/ or
# lib/x86_64-linux-gnu/tolvane/, so that both architectures' copies can be installed together.
set(TOLVANE_ARCH_DIR lib/${TOLVANE_TRIPLET}/tolvane)

install(TARGETS tolvane LIBRARY DESTINATION ${TOLVANE_ARCH_DIR} COMPONENT plugin)
# lintian's one hardening tag that the plug-in's C library floor leaves standing, with the reason
# (packaging/hardening.cmake); the same file on every architecture.
install(FILES packaging/tolvane-plugin.lintian-overrides DESTINATION share/lintian/overrides
        RENAME tolvane-plugin COMPONENT plugin)

install(TARGETS tolvane-list RUNTIME DESTINATION bin COMPONENT tools)
install(FILES examples/admins.list DESTINATION share/doc/tolvane/examples COMPONENT tools)
# The example playbook, whole: an operator copies the folder and runs it from there.
set(ansible_example share/doc/tolvane/examples/ansible)
install(FILES examples/ansible/tolvane.yml examples/ansible/admins.list.j2
        examples/ansible/inventory.ini DESTINATION ${ansible_example} COMPONENT tools)
install(FILES examples/ansible/group_vars/all.yml DESTINATION ${ansible_example}/group_vars
        COMPONENT tools)
install(FILES examples/ansible/library/tolvane_record.py DESTINATION ${ansible_example}/library
        COMPONENT tools)
install(FILES README.md DESTINATION share/doc/tolvane COMPONENT tools)
install(FILES completions/tolvane-list DESTINATION share/bash-completion/completions
        COMPONENT tools)

# The host binary beside the plug-in of its architecture; on the PATH, a launcher that runs
# the host of the plug-in's architecture (a script, the same file for every architecture).
install(TARGETS tolvane-host RUNTIME DESTINATION ${TOLVANE_ARCH_DIR} COMPONENT host)
install(PROGRAMS host/launcher.sh DESTINATION bin RENAME tolvane-host COMPONENT host)
install(FILES examples/demo.session examples/admins.list
        DESTINATION share/doc/tolvane-host/examples COMPONENT host)
install(FILES completions/tolvane-host DESTINATION share/bash-completion/completions
        COMPONENT host)

install(FILES plugin-sdk/s-pluginapi.h plugin-sdk/s-serverpublic.h DESTINATION include/tolvane
        COMPONENT dev)

# The manuals with the version filled in, the changelog, and NEWS (what an upgrade changes for
# operators, in Debian's NEWS.Debian form, which apt-listchanges shows before an upgrade),
# compressed as Debian wants them: gzip -9 without a name or a time stamp, so that the same
# sources give the same bytes (the i386 and amd64 packages of one Multi-Arch: same package must
# share identical files).
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page tolvane-list.1 tolvane-host.1 tolvane-list.5)
  configure_file(man/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page})
endforeach()
configure_file(packaging/changelog ${CMAKE_BINARY_DIR}/doc/changelog COPYONLY)
configure_file(NEWS ${CMAKE_BINARY_DIR}/doc/NEWS.Debian COPYONLY)
list(APPEND compressed ${CMAKE_BINARY_DIR}/doc/changelog ${CMAKE_BINARY_DIR}/doc/NEWS.Debian)
set(gz_files)
foreach(f ${compressed})
  add_custom_command(OUTPUT ${f}.gz COMMAND ${GZIP} -9nf -k ${f} DEPENDS ${f} VERBATIM)
  list(APPEND gz_files ${f}.gz)
endforeach()
add_custom_target(tolvane-docs ALL DEPENDS ${gz_files})
install(FILES ${CMAKE_BINARY_DIR}/man/tolvane-list.1.gz DESTINATION share/man/man1 COMPONENT tools)
install(FILES ${CMAKE_BINARY_DIR}/man/tolvane-list.5.gz DESTINATION share/man/man5 COMPONENT tools)
install(FILES ${CMAKE_BINARY_DIR}/man/tolvane-host.1.gz DESTINATION share/man/man1 COMPONENT host)
# The news of the package that operators upgrade, the one tolvane-list is in.
install(FILES ${CMAKE_BINARY_DIR}/doc/NEWS.Debian.gz DESTINATION share/doc/tolvane COMPONENT tools)

# The list's home: comments only, so a fresh install recognises nobody until the operator adds
# someone; a configuration file of the tools' package, so an upgrade never overwrites the list.
install(FILES packaging/admins.list DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tolvane
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ COMPONENT tools)

# Grants that end: tolvane-expire.timer runs tolvane-expire every five minutes on the lists that
# expire.conf names (the list's home as installed), a configuration file of the tools' package.
# The units lie where Debian's systemd finds a package's units; the package's postinst enables
# and starts the timer (packaging/postinst.in).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(TOLVANE_UNIT_DIR /lib/systemd/system)
else()
  set(TOLVANE_UNIT_DIR ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
configure_file(packaging/systemd/tolvane-expire.service.in
               ${CMAKE_BINARY_DIR}/packaging/tolvane-expire.service @ONLY)
configure_file(packaging/expire.conf.in ${CMAKE_BINARY_DIR}/packaging/expire.conf @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tolvane-expire.service
        packaging/systemd/tolvane-expire.timer DESTINATION ${TOLVANE_UNIT_DIR} COMPONENT tools)
install(PROGRAMS packaging/systemd/tolvane-expire DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tolvane
        COMPONENT tools)
install(FILES ${CMAKE_BINARY_DIR}/packaging/expire.conf DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tolvane
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ COMPONENT tools)

# Every package carries the copyright and the changelog in its own documentation folder.
set(TOLVANE_PACKAGES plugin=tolvane-plugin tools=tolvane host=tolvane-host dev=tolvane-dev)
foreach(pair ${TOLVANE_PACKAGES})
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
endforeach()

include(packaging/debian.cmake)
