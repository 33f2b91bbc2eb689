# What an operator installs: the plug-in where the server's configuration can name it, the
# tools on the PATH, the host interface headers, the manuals and the examples. No path of the
# build tree goes into what is installed (no RPATH; the package's files are stripped).
install(TARGETS tolvane LIBRARY DESTINATION lib/tolvane)
install(TARGETS tolvane-list tolvane-host RUNTIME DESTINATION bin)
install(FILES plugin-sdk/s-pluginapi.h plugin-sdk/s-serverpublic.h DESTINATION include/tolvane)
install(FILES examples/admins.list examples/demo.session DESTINATION share/doc/tolvane/examples)
install(FILES README.md DESTINATION share/doc/tolvane)
install(FILES man/tolvane-list.1 man/tolvane-host.1 DESTINATION share/man/man1)
install(FILES man/tolvane-list.5 DESTINATION share/man/man5)

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
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane is a plug-in for a multi-user avatar chat server. It recognises the server's\n\
registered host administrators from a list file, grants them host-administrator status when\n\
they first enter a room, announces their arrival and departure, and re-reads the list on a\n\
timer. The package holds the plug-in (lib/tolvane/tolvane.so, which needs only the C library),\n\
tolvane-list to check and write the list file, the stand-in host tolvane-host to try the\n\
plug-in, the host interface headers, manuals and examples.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The plug-in needs the C library alone; the tools are C++ programs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
