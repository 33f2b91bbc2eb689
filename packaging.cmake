# What an operator installs: the plug-in where the server's configuration can name it, the
# tools on the PATH, the host interface headers, the manuals and the examples. No path of the
# build tree goes into what is installed (no RPATH; the package's files are stripped).
install(TARGETS tolvane LIBRARY DESTINATION lib/tolvane)
install(TARGETS tolvane-list tolvane-host RUNTIME DESTINATION bin)
install(FILES plugin-sdk/s-pluginapi.h plugin-sdk/s-serverpublic.h DESTINATION include/tolvane)
install(FILES examples/admins.list examples/demo.session DESTINATION share/doc/tolvane/examples)
install(FILES README.md packaging/copyright DESTINATION share/doc/tolvane)
# Shell completion, where bash-completion looks for it by the command's name.
install(FILES completions/tolvane-list completions/tolvane-host
        DESTINATION share/bash-completion/completions)

# The manuals with the version filled in, and the changelog, compressed as Debian wants them:
# gzip -9 without a name or a time stamp, so that the same sources give the same bytes.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page tolvane-list.1 tolvane-host.1 tolvane-list.5)
  configure_file(man/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page})
endforeach()
configure_file(packaging/changelog ${CMAKE_BINARY_DIR}/doc/changelog COPYONLY)
list(APPEND compressed ${CMAKE_BINARY_DIR}/doc/changelog)
set(gz_files)
foreach(f ${compressed})
  add_custom_command(OUTPUT ${f}.gz COMMAND ${GZIP} -9nf -k ${f} DEPENDS ${f} VERBATIM)
  list(APPEND gz_files ${f}.gz)
endforeach()
add_custom_target(tolvane-docs ALL DEPENDS ${gz_files})
install(FILES ${CMAKE_BINARY_DIR}/man/tolvane-list.1.gz ${CMAKE_BINARY_DIR}/man/tolvane-host.1.gz
        DESTINATION share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/man/tolvane-list.5.gz DESTINATION share/man/man5)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION share/doc/tolvane)

# The list's home: comments only, so a fresh install recognises nobody until the operator adds
# someone; a configuration file of the package, so an upgrade never overwrites the list.
install(FILES packaging/admins.list DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tolvane
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Debian packages: amd64 from the x86-64 build, i386 from the i386 build.
if(TOLVANE_ABI STREQUAL "i386")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
else()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "Tolvane developers <developers@tolvane.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tolvane developers <developers@tolvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "chat server plug-in that recognises registered host administrators")
# Debian wants the long description in lines of at most 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane is a plug-in for a multi-user avatar chat server. It recognises the\n\
server's registered host administrators from a list file, grants them\n\
host-administrator status when they first enter a room, announces their\n\
arrival and departure, and re-reads the list on a timer.\n\
.\n\
The package holds the plug-in (/usr/lib/tolvane/tolvane.so, which needs only\n\
the C library), the list's home /etc/tolvane/admins.list, tolvane-list to\n\
check, write and safely change the list, the stand-in host tolvane-host to\n\
try the plug-in, the host interface headers, manuals and examples.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The plug-in needs the C library alone; the tools are C++ programs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
configure_file(packaging/conffiles.in ${CMAKE_BINARY_DIR}/packaging/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
