# vodez_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>])
#
# One QtTest executable registered with CTest. Every test runs headless in its
# own working directory (so a test's config.ini or project file never meets
# another test's), with a private XDG runtime dir. Each one links the test
# base's prompt guard (tests/support), so a message box or dialog the test
# did not expect fails it instead of opening a modal window; RecordingPrompt.h
# is on its include path.
set(VODEZ_TEST_XDG_RUNTIME_DIR "${CMAKE_BINARY_DIR}/xdg-runtime")
file(MAKE_DIRECTORY "${VODEZ_TEST_XDG_RUNTIME_DIR}")
file(CHMOD "${VODEZ_TEST_XDG_RUNTIME_DIR}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# Tests run in the field crews' time zone (UTC+8, as a POSIX rule that needs
# no time-zone data), not in UTC: a local-time mistake in the exports,
# listings or tree texts then shows.
set(VODEZ_TEST_TZ "CST-8" CACHE STRING "Time zone the tests run in")

function(vodez_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test testbase_guard ${T_LIBS})
  set(workdir "${CMAKE_BINARY_DIR}/testrun/${name}")
  file(MAKE_DIRECTORY "${workdir}")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY "${workdir}")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TZ=${VODEZ_TEST_TZ};QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${VODEZ_TEST_XDG_RUNTIME_DIR};ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;VODEZ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
