# The Debian packages' control fields, one package a component. This build gives the amd64 or
# the i386 packages of tolvane-plugin, tolvane and tolvane-host, and tolvane-dev for all.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin tools host dev)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "Tolvane developers <developers@tolvane.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tolvane developers <developers@tolvane.example>")
# Each package's description starts with its own synopsis: no summary common to all of them.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TOLVANE_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The C++ programs' needs, as dpkg-shlibdeps finds them (on i386 a newer libgcc-s1: tolvane-list's
# 64-bit arithmetic of a grant's end divides through libgcc's __divmoddi4, of GCC_7.0.0);
# besides, tolvane-list links Nettle (SHA-256), whose symbols are all of its first version (no
# version to require), and the host libedit, whose line-editing calls (el_*, history*) date
# from 2.11-20080614-0 but for el_wset (the completion function named in wide characters), which
# dates from 3.1-20140620-0. The package test holds each Depends to what dpkg-shlibdeps finds.
if(TOLVANE_DEB_ARCH STREQUAL "i386")
  set(libgcc_version 7)
else()
  set(libgcc_version 3.0)
endif()
set(tolvane_cxx_depends "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= ${libgcc_version})")
set(tolvane_nettle_depends "libnettle8")
set(tolvane_libedit_depends "libedit2 (>= 3.1-20140620-0)")
# Up to 2.0.0 the package tolvane held everything; the host and the headers have left it.
set(tolvane_split "tolvane (<< 2.0.1~)")

# The plug-in needs the C library alone, no newer than the floor abi.exports holds it to.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "libc6 (>= ${TOLVANE_LIBC_FLOOR})")
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SUGGESTS "tolvane")
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION
    "chat server plug-in that recognises registered host administrators\n\
Tolvane is a plug-in for a multi-user avatar chat server. It recognises the\n\
server's registered host administrators from a list file, grants them\n\
host-administrator status when they first enter a room, announces their\n\
arrival and departure, and re-reads the list on a timer.\n\
.\n\
This package holds the plug-in, /usr/lib/${TOLVANE_TRIPLET}/tolvane/tolvane.so,\n\
which needs only the C library. Install the package of the server's own\n\
architecture: tolvane-plugin:i386 for a 32-bit server on a 64-bit system.")

# The tools: one architecture's copy serves every architecture's plug-in.
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${tolvane_cxx_depends}, ${tolvane_nettle_depends}")
# tolvane-list's completion is loaded by bash-completion.
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "tolvane-plugin")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "tools for the list of a chat server's host administrators\n\
Tolvane is a plug-in for a multi-user avatar chat server that recognises the\n\
server's registered host administrators from a list file.\n\
.\n\
This package holds the list's home /etc/tolvane/admins.list and tolvane-list,\n\
which checks the list as the plug-in reads it and adds, removes and edits\n\
administrators safely while the server runs, with manuals, an example list\n\
and an Ansible playbook that keeps the list in step on several servers.\n\
The plug-in itself is in tolvane-plugin.")
configure_file(packaging/conffiles.in ${CMAKE_BINARY_DIR}/packaging/conffiles @ONLY)
configure_file(packaging/postrm.in ${CMAKE_BINARY_DIR}/packaging/postrm @ONLY)
configure_file(packaging/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
configure_file(packaging/prerm.in ${CMAKE_BINARY_DIR}/packaging/prerm @ONLY)
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
    "${CMAKE_BINARY_DIR}/packaging/conffiles;${CMAKE_BINARY_DIR}/packaging/postinst;\
${CMAKE_BINARY_DIR}/packaging/prerm;${CMAKE_BINARY_DIR}/packaging/postrm")

# The stand-in host loads plug-ins of its own architecture: the one of the same architecture.
# It edits the lines typed at its prompt with libedit (the version is dpkg-shlibdeps' own).
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "${tolvane_cxx_depends}, ${tolvane_libedit_depends}")
set(CPACK_DEBIAN_HOST_PACKAGE_RECOMMENDS "tolvane-plugin")
set(CPACK_DEBIAN_HOST_PACKAGE_BREAKS "${tolvane_split}")
set(CPACK_DEBIAN_HOST_PACKAGE_REPLACES "${tolvane_split}")
set(CPACK_DEBIAN_HOST_DESCRIPTION
    "stand-in chat server host to try the Tolvane plug-in\n\
tolvane-host loads a chat server plug-in exactly as the server does, plays a\n\
scenario of users, rooms and time against it, prints every call as a\n\
transcript and checks that the plug-in keeps the host's rules.\n\
.\n\
A host loads plug-ins of its own architecture only: the i386 and amd64\n\
packages install side by side, and tolvane-host runs the one that matches\n\
the plug-in it is given.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "tolvane-host")
set(CPACK_DEBIAN_DEV_PACKAGE_BREAKS "${tolvane_split}")
set(CPACK_DEBIAN_DEV_PACKAGE_REPLACES "${tolvane_split}")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "host interface headers for chat server plug-ins\n\
The C headers s-pluginapi.h and s-serverpublic.h in /usr/include/tolvane/ hold\n\
the whole contract between a multi-user avatar chat server and its plug-ins:\n\
the five entry points a plug-in exports, the eight services the host\n\
provides and the records that reach a plug-in, laid out alike on i386 and\n\
x86-64.")

# Multi-Arch: the plug-in and the host install once per architecture, side by side; the tools
# and the headers serve every architecture. CMake 3.25's CPack does not write the field itself:
# a script adds it to each package CPack built.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_MULTIARCH same)
set(CPACK_DEBIAN_TOOLS_PACKAGE_MULTIARCH foreign)
set(CPACK_DEBIAN_HOST_PACKAGE_MULTIARCH same)
set(CPACK_DEBIAN_DEV_PACKAGE_MULTIARCH foreign)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/multiarch.cmake)
include(CPack)
