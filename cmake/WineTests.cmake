# Test executables run under Wine through the cross-compiling emulator; each Wine
# configuration is a private prefix under the build folder (scripts/wine-run.sh).
set(ZORVA_WINE_ROOT ${CMAKE_BINARY_DIR}/wine CACHE PATH "Private Wine prefixes of the test suite")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --root ${ZORVA_WINE_ROOT})

# zorva_add_tests(target [CONF conf] [FILTER gtest-filter] [SUFFIX suffix] [SERVERS] [ENV VAR=VALUE ...])
# registers every test of a GoogleTest executable; CONF names the Wine configuration
# (w32, w32-xp, w32-7, w64), ENV adds variables such as LANG for another code page.
# SERVERS: the tests need the local HTTP servers (tests/servers), named by ZORVA_SERVERS_FILE.
# LOCK name: cases sharing one machine-wide resource (a registry key) never run at once.
function(zorva_add_tests target)
  cmake_parse_arguments(ARG "SERVERS" "CONF;FILTER;SUFFIX;LOCK" "ENV" ${ARGN})
  if(NOT ARG_CONF)
    set(ARG_CONF w32)
  endif()
  set(extra)
  if(ARG_SERVERS)
    list(APPEND ARG_ENV ZORVA_SERVERS_FILE=${CMAKE_BINARY_DIR}/servers/servers.env)
    # gtest_discover_tests joins repeated PROPERTIES lists.
    list(APPEND extra PROPERTIES FIXTURES_REQUIRED zorva_servers)
  endif()
  if(ARG_LOCK)
    list(APPEND extra PROPERTIES RESOURCE_LOCK ${ARG_LOCK})
  endif()
  if(ARG_FILTER)
    list(APPEND extra TEST_FILTER ${ARG_FILTER})
  endif()
  if(ARG_SUFFIX)
    list(APPEND extra TEST_SUFFIX ${ARG_SUFFIX})
  endif()
  # One ENVIRONMENT entry: a list would not survive test discovery, so
  # wine-run.sh exports the blank-separated pairs of ZORVA_TEST_ENV itself.
  list(JOIN ARG_ENV " " env)
  set(env "ZORVA_TEST_ENV=ZORVA_WINE_CONF=${ARG_CONF} ${env}")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 120
    ${extra}
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
