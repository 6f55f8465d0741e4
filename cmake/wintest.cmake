# add_win_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [FIXTURES_SETUP ...])
# Builds a GoogleTest program and registers it with ctest, run under Wine by the toolchain's
# emulator (scripts/wine-run). One ctest test per program. Its work folder (<name>.work) is
# emptied before each run by the setup test <name>_fresh_work (fixture <name>_work), so the host
# checks that read it judge this run's files; a host step that writes into the folder before the
# program requires that fixture too.
function(add_win_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;FIXTURES_SETUP" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE test_support ${ARG_LIBS})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${work})
  add_test(NAME ${name}_fresh_work COMMAND sh -c "rm -rf \"$0\" && mkdir -p \"$0\"" ${work})
  set_tests_properties(${name}_fresh_work PROPERTIES TIMEOUT 60 LABELS "host;${ARG_LABELS}"
    FIXTURES_SETUP ${name}_work)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "windows;${ARG_LABELS}"
    FIXTURES_REQUIRED ${name}_work)
  if(ARG_FIXTURES_SETUP)
    set_tests_properties(${name} PROPERTIES FIXTURES_SETUP "${ARG_FIXTURES_SETUP}")
  endif()
endfunction()

# Where Wine keeps the system programs of this build's kind. A host check that runs one of Wine's
# own tools as a peer takes it from there: an i686 tool sees the registry as this build's programs
# do (codecs installed by a 32-bit program are listed only in the 32-bit view).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(WINE_SYSTEM_FOLDER system32)
else()
  set(WINE_SYSTEM_FOLDER syswow64)
endif()

# add_host_check(<name> COMMAND ... [FIXTURES_REQUIRED ...] [WORKING_DIRECTORY dir] [LONG])
# A check that runs on the Linux host and reads what a Windows test program wrote. A LONG check (a
# bounded fuzzing run) is labelled "long" and runs only with CI=true or RUN_LONG=1.
function(add_host_check name)
  cmake_parse_arguments(ARG "LONG" "WORKING_DIRECTORY" "COMMAND;FIXTURES_REQUIRED" ${ARGN})
  add_test(NAME ${name} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS host
    FIXTURES_REQUIRED "${ARG_FIXTURES_REQUIRED}")
  if(ARG_LONG)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "host;long")
  endif()
  # A host check is not run through the emulator.
endfunction()
