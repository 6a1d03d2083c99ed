# Test executables run under Wine through the cross-compiling emulator; each Wine
# configuration is a private prefix under the build folder (scripts/wine-run.sh).
set(ZORVA_WINE_ROOT ${CMAKE_BINARY_DIR}/wine CACHE PATH "Private Wine prefixes of the test suite")

# The prefixes a build can run in, by what a case asks for:
#   default  Windows 10 of the build's own bitness (w32 for i686, w64 for x86_64)
#   win7     Windows 7 of the build's own bitness
#   xp       32-bit Windows XP (there is no 64-bit XP prefix to test against)
#   wow64    64-bit Windows 10 running the 32-bit build under WOW64
# An x86_64 build cannot run in a 32-bit prefix nor under WOW64: its cases
# for xp and wow64 are registered but reported as skipped, with the reason.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZORVA_TEST_ARCH x86_64)
  set(ZORVA_DEFAULT_CONF w64)
else()
  set(ZORVA_TEST_ARCH i686)
  set(ZORVA_DEFAULT_CONF w32)
endif()
set(ZORVA_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --root ${ZORVA_WINE_ROOT} --default-conf ${ZORVA_DEFAULT_CONF})
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORVA_WINE_RUN})

# zorva_wine_conf(ROLE CONF_VAR WIN64_VAR SKIP_VAR): the prefix of a role for
# this build, whether that Windows is 64-bit, and the skip key when the build
# cannot run there (empty when it can).
function(zorva_wine_conf role conf_var win64_var skip_var)
  set(skip "")
  if(ZORVA_TEST_ARCH STREQUAL "x86_64")
    set(win64 1)
    if(role STREQUAL "default")
      set(conf w64)
    elseif(role STREQUAL "win7")
      set(conf w64-7)
    elseif(role STREQUAL "xp" OR role STREQUAL "wow64")
      set(conf ${ZORVA_DEFAULT_CONF})
      set(skip ${role})
    else()
      message(FATAL_ERROR "unknown Wine role '${role}'")
    endif()
  else()
    set(win64 0)
    if(role STREQUAL "default")
      set(conf w32)
    elseif(role STREQUAL "win7")
      set(conf w32-7)
    elseif(role STREQUAL "xp")
      set(conf w32-xp)
    elseif(role STREQUAL "wow64")
      set(conf w64)
      set(win64 1)
    else()
      message(FATAL_ERROR "unknown Wine role '${role}'")
    endif()
  endif()
  set(${conf_var} ${conf} PARENT_SCOPE)
  set(${win64_var} ${win64} PARENT_SCOPE)
  set(${skip_var} "${skip}" PARENT_SCOPE)
endfunction()

# zorva_add_tests(target [CONF role] [FILTER gtest-filter] [SUFFIX suffix] [SERVERS] [LOCK name] [ENV VAR=VALUE ...])
# registers every test of a GoogleTest executable; CONF names the Wine role
# above (default: default), ENV adds variables such as LANG for another code page.
# Every case learns through ZORVA_EXPECT_WIN64 whether its Windows is 64-bit.
# SERVERS: the tests need the local HTTP servers (tests/servers), named by ZORVA_SERVERS_FILE.
# LOCK name: cases sharing one machine-wide resource (a registry key) never run at once.
function(zorva_add_tests target)
  cmake_parse_arguments(ARG "SERVERS" "CONF;FILTER;SUFFIX;LOCK" "ENV" ${ARGN})
  if(NOT ARG_CONF)
    set(ARG_CONF default)
  endif()
  zorva_wine_conf(${ARG_CONF} conf win64 skip)
  set(extra)
  if(ARG_SERVERS)
    list(APPEND ARG_ENV ZORVA_SERVERS_FILE=${CMAKE_BINARY_DIR}/servers/servers.env)
    # gtest_discover_tests joins repeated PROPERTIES lists.
    list(APPEND extra PROPERTIES FIXTURES_REQUIRED zorva_servers)
  endif()
  if(ARG_LOCK)
    list(APPEND extra PROPERTIES RESOURCE_LOCK ${ARG_LOCK})
  endif()
  if(skip)
    # wine-run.sh says why and ends with 77 before starting anything.
    list(APPEND ARG_ENV ZORVA_SKIP=${skip})
    list(APPEND extra PROPERTIES SKIP_RETURN_CODE 77)
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
  set(env "ZORVA_TEST_ENV=ZORVA_WINE_CONF=${conf} ZORVA_EXPECT_WIN64=${win64} ${env}")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 120
    ${extra}
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
