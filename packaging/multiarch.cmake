# Run by CPack once it has built the packages (CPACK_POST_BUILD_SCRIPTS): gives each package the
# Multi-Arch field its component names in CPACK_DEBIAN_<COMPONENT>_PACKAGE_MULTIARCH, which
# CMake 3.25's CPack does not write. The package is unpacked, the field written after
# Architecture, and the package built again with dpkg-deb.
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(multiarch_${CPACK_DEBIAN_${upper}_PACKAGE_NAME} "${CPACK_DEBIAN_${upper}_PACKAGE_MULTIARCH}")
endforeach()
foreach(deb ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND dpkg-deb --field ${deb} Package OUTPUT_VARIABLE package
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(multiarch "${multiarch_${package}}")
  if(NOT multiarch)
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/control control)
  if(NOT control MATCHES "(^|\n)Multi-Arch: ")
    string(REGEX REPLACE "(^|\n)(Architecture: [^\n]*\n)" "\\1\\2Multi-Arch: ${multiarch}\n"
                         control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")
  endif()
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${deb} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
