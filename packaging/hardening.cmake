# Debian's hardening, as the distribution builds what runs as root: the flags that dpkg-buildflags
# gives for this build's architecture with DEB_BUILD_MAINT_OPTIONS=hardening=+all, taken from
# dpkg-buildflags itself at configure time. They are the flags hardening=+all has and
# hardening=-all lacks, so that nothing else of dpkg-buildflags (its -O2 -g, a path map, the
# operator's own buildflags.conf) comes in: on Debian 12, -D_FORTIFY_SOURCE=2,
# -fstack-protector-strong, -Wformat -Werror=format-security, -Wl,-z,relro -Wl,-z,now. PIE is
# the compilers' own default there (dpkg-buildflags names it "builtin"); it is asked for here too.
#
# Included once the programs are defined, it gives them their flags: the tools (tolvane-list) and
# the stand-in host (tolvane-host), with every library of the project's they link, the whole set;
# the plug-in the share of it that its rule allows. The code of tests, benchmarks and fuzz targets
# keeps the project's own flags. Two exceptions:
# - The plug-in loads into hosts on systems as old as its C library floor (GLIBC_2.3 on
#   i386, GLIBC_2.3.4 on x86-64; tests/plugin/abi/ holds it to that): the stack protector calls
#   __stack_chk_fail, which is GLIBC_2.4 on both, so the plug-in is built without it. Fortified
#   calls bind __*_chk functions of GLIBC_2.3.4 and later; the plug-in has none that the compiler
#   can check, so _FORTIFY_SOURCE imports nothing and it keeps the floor (abi.exports fails the
#   day a fortified call would break it).
# - The sanitizer build leaves _FORTIFY_SOURCE out: AddressSanitizer intercepts the C library's
#   functions and does not know their fortified forms. So does the Debug build type, which does
#   not optimise, and where _FORTIFY_SOURCE would do nothing but warn.
find_program(TOLVANE_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT TOLVANE_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "tolvane: dpkg-buildflags, which gives Debian's hardening flags, is missing: "
                      "install dpkg-dev (scripts/setup does)")
endif()

# The flags of KIND (CPPFLAGS, CXXFLAGS, LDFLAGS) that dpkg-buildflags gives for this
# architecture with DEB_BUILD_MAINT_OPTIONS set to MAINT, as a list.
function(tolvane_buildflags out kind maint)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${TOLVANE_DEB_ARCH} DEB_BUILD_MAINT_OPTIONS=${maint}
            ${TOLVANE_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  tolvane_buildflags(hardened ${kind} hardening=+all)
  tolvane_buildflags(plain ${kind} hardening=-all)
  if(plain)
    list(REMOVE_ITEM hardened ${plain})
  endif()
  set(hardening_${kind} ${hardened})
endforeach()
# The project's sources are all C++: CXXFLAGS serve every compile.
set(hardening_fortify ${hardening_CPPFLAGS})
list(FILTER hardening_fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(TRANSFORM hardening_fortify REPLACE "^-D" "")
set(hardening_compile ${hardening_CPPFLAGS} ${hardening_CXXFLAGS})
list(FILTER hardening_compile EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
set(hardening_stack_protector ${hardening_compile})
list(FILTER hardening_stack_protector INCLUDE REGEX "^-f(no-)?stack-protector")
if(TOLVANE_SANITIZE)
  set(hardening_fortify)
endif()
string(JOIN " -D" shown "" ${hardening_fortify})
string(JOIN " " shown "${shown}" ${hardening_compile} ${hardening_LDFLAGS})
message(STATUS "tolvane: Debian's hardening for ${TOLVANE_DEB_ARCH}:${shown}")
if(hardening_fortify)
  # _FORTIFY_SOURCE needs optimisation, which the Debug build type has not.
  set(hardening_fortify "$<$<NOT:$<CONFIG:Debug>>:${hardening_fortify}>")
endif()

# Gives TARGET Debian's hardening; with PLUGIN, the share of it that the plug-in's rule allows.
# Position-independent code too, whatever the compiler's default.
function(tolvane_harden target)
  set(compile ${hardening_compile})
  if("PLUGIN" IN_LIST ARGN)
    list(REMOVE_ITEM compile ${hardening_stack_protector})
  endif()
  target_compile_options(${target} PRIVATE ${compile})
  target_compile_definitions(${target} PRIVATE ${hardening_fortify})
  target_link_options(${target} PRIVATE ${hardening_LDFLAGS})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# Gives TARGET and every library of the project's that it links, however deep, the whole of
# Debian's hardening, each once (the libraries' own code runs in the program too).
function(tolvane_harden_linked target)
  get_property(done GLOBAL PROPERTY tolvane_hardened)
  if(target IN_LIST done)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY tolvane_hardened ${target})
  # An interface library compiles nothing: only what it brings along is followed.
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(linked ${target} INTERFACE_LINK_LIBRARIES)
  else()
    tolvane_harden(${target})
    get_target_property(linked ${target} LINK_LIBRARIES)
  endif()
  foreach(library ${linked})
    if(TARGET ${library})
      get_target_property(imported ${library} IMPORTED)
      if(NOT imported)
        tolvane_harden_linked(${library})
      endif()
    endif()
  endforeach()
endfunction()

include(CheckPIESupported)
check_pie_supported()
tolvane_harden(tolvane PLUGIN)
tolvane_harden_linked(tolvane-list)
tolvane_harden_linked(tolvane-host)
