# How this build's programs run on this machine, decided once, at configure time: natively
# where the kernel starts them; an i386 build on a kernel that starts no i386 program (IA32
# emulation switched off) runs them through qemu-user's qemu-i386, as a process of its own,
# asking nothing of the machine's settings (no binfmt_misc entry). Sets:
#   CMAKE_CROSSCOMPILING_EMULATOR  the emulator (empty natively): ctest and gtest_discover_tests
#                                  put it before every test program of this build
#   TOLVANE_EMULATOR               the same, for the launcher below
#   TOLVANE_RUNS                   "natively" or "under qemu-user"
#   TOLVANE_RUNS_NATIVELY          1 or 0
# and writes ${CMAKE_BINARY_DIR}/tolvane-launch, the one launcher through which test scripts and
# test programs start this build's programs (tests/support/launch.in).
# -DTOLVANE_EMULATOR=/usr/bin/qemu-i386 on an i386 build takes the emulator even where the kernel
# runs i386 programs, to try the emulated run on such a machine.

set(TOLVANE_EMULATOR "" CACHE STRING "Run this build's programs through this emulator (empty: decide)")

# Whether PROGRAM, run through the command prefix in the remaining arguments, says "runs".
function(tolvane_runs result program)
  execute_process(COMMAND ${ARGN} ${program} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_QUIET)
  if(status EQUAL 0 AND out STREQUAL "runs\n")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/tolvane-runs-here)
file(WRITE ${probe_dir}/runs.c "#include <stdio.h>\nint main(void) { puts(\"runs\"); return 0; }\n")
try_compile(probe_built ${probe_dir}/build ${probe_dir}/runs.c
  COPY_FILE ${probe_dir}/runs OUTPUT_VARIABLE probe_log)
if(NOT probe_built)
  message(FATAL_ERROR "tolvane: cannot build a program for ${TOLVANE_ABI}:\n${probe_log}")
endif()

set(emulator ${TOLVANE_EMULATOR})
if(NOT emulator)
  tolvane_runs(native ${probe_dir}/runs)
  if(NOT native)
    if(NOT TOLVANE_ABI STREQUAL "i386")
      message(FATAL_ERROR "tolvane: this machine does not run the programs of this ${TOLVANE_ABI} build")
    endif()
    find_program(TOLVANE_QEMU_I386 qemu-i386)
    if(NOT TOLVANE_QEMU_I386)
      message(FATAL_ERROR "tolvane: this kernel does not start i386 programs, and qemu-i386 is "
                          "missing: install qemu-user (scripts/setup does) to run the i386 tests")
    endif()
    set(emulator ${TOLVANE_QEMU_I386})
  endif()
endif()

if(emulator)
  tolvane_runs(emulated ${probe_dir}/runs ${emulator})
  if(NOT emulated)
    message(FATAL_ERROR "tolvane: ${emulator} does not run the programs of this ${TOLVANE_ABI} build")
  endif()
  set(TOLVANE_RUNS "under qemu-user")
  set(TOLVANE_RUNS_NATIVELY 0)
else()
  set(TOLVANE_RUNS "natively")
  set(TOLVANE_RUNS_NATIVELY 1)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})
if(emulator)
  message(STATUS "tolvane: this build's programs run ${TOLVANE_RUNS} (${emulator})")
else()
  message(STATUS "tolvane: this build's programs run ${TOLVANE_RUNS}")
endif()

# The launcher: `exec EMULATOR "$@"`, or `exec "$@"` natively.
list(JOIN emulator " " TOLVANE_LAUNCH_PREFIX)
configure_file(${CMAKE_CURRENT_LIST_DIR}/launch.in ${CMAKE_BINARY_DIR}/tolvane-launch @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(TOLVANE_LAUNCH ${CMAKE_BINARY_DIR}/tolvane-launch)
