# Tests, built only with BUILD_TESTING (the default): the installer, the tools and the demo
# need nothing of this.
enable_testing()
find_package(GTest)
if(NOT GTest_FOUND)
  message(FATAL_ERROR "GoogleTest not found: install it (Debian: libgtest-dev) "
                      "or configure with -DBUILD_TESTING=OFF to build without the tests")
endif()
include(GoogleTest)
# Unit tests: one executable per tests/*_test.cpp, so each module's tests build on their own.
# The test list is read when ctest runs, not at build time: a build never runs a test binary.
file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cpp)
foreach(src ${TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE installer_lib GTest::gtest_main)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # g++ 12 at -O3 sees an overlap in std::string's operator+ that cannot happen (a known
    # false positive of that compiler), so that warning cannot be an error in the tests.
    target_compile_options(${name} PRIVATE -Wno-restrict)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endforeach()

# Tests that need root (private mount namespaces, real owners) or Apache carry a label and
# exit with 77 when that is missing: ctest shows them as skipped, never as passed.
# With CI set they fail instead (tests/need.sh).
function(needs_root test)
  set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77 LABELS "root;${ARGN}")
endfunction()

# End-to-end scenarios: one folder each, run against the real binary, and the web-server
# discovery cases, one scenario per row of the table, all on one product. The whole set runs
# against the installer built here, and against the static installer in a namespace whose
# nsswitch.conf is a stock Debian host's and once with systemd's module first: the static
# one must read users and groups from the files, whatever the host's name services.
file(GLOB SCENARIOS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scenarios/*)
file(STRINGS ${CMAKE_SOURCE_DIR}/tests/httpd/cases HTTPD_CASES REGEX "^[a-z]")
function(add_scenarios prefix bin)  # [NSSWITCH-FILE]
  set(env "")
  if(ARGN)
    set(env INSTALL_NSSWITCH=${ARGN})
  endif()
  set(tests "")
  foreach(dir ${SCENARIOS})
    if(IS_DIRECTORY ${dir})
      get_filename_component(name ${dir} NAME)
      add_test(NAME ${prefix}.${name}
               COMMAND bash ${CMAKE_SOURCE_DIR}/tests/run_scenario.sh ${bin} ${dir})
      list(APPEND tests ${prefix}.${name})
    endif()
  endforeach()
  foreach(row ${HTTPD_CASES})
    string(REGEX MATCH "^[^ ]+" name "${row}")
    add_test(NAME ${prefix}.httpd-${name}
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/run_httpd.sh ${bin} ${name})
    list(APPEND tests ${prefix}.httpd-${name})
  endforeach()
  foreach(test ${tests})
    needs_root(${test})
    # The plan scenarios (plan-*) run install-check beside the installer.
    set(test_env ${env})
    if(test MATCHES "^${prefix}\\.plan-")
      list(APPEND test_env INSTALL_CHECK=$<TARGET_FILE:install_check>)
    endif()
    if(test_env)
      set_tests_properties(${test} PROPERTIES ENVIRONMENT "${test_env}")
    endif()
  endforeach()
endfunction()
add_scenarios(scenario $<TARGET_FILE:install_bin>)
if(TARGET install_static)
  add_scenarios(static $<TARGET_FILE:install_static>
                ${CMAKE_SOURCE_DIR}/tests/nsswitch/files-systemd)
  add_scenarios(static-systemd-first $<TARGET_FILE:install_static>
                ${CMAKE_SOURCE_DIR}/tests/nsswitch/systemd-files)
endif()

# The plan against the real run, on every scenario product with a copy script.
add_test(NAME plan.differential COMMAND bash ${CMAKE_SOURCE_DIR}/tests/plan_diff.sh
         $<TARGET_FILE:install_bin> $<TARGET_FILE:install_check> ${CMAKE_SOURCE_DIR}/tests/scenarios)
needs_root(plan.differential)
set_tests_properties(plan.differential PROPERTIES TIMEOUT 600)

# install-check on product folders with the findings expected of each: one folder a case.
file(GLOB CHECK_CASES LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/check/*)
foreach(dir ${CHECK_CASES})
  if(IS_DIRECTORY ${dir})
    get_filename_component(name ${dir} NAME)
    add_test(NAME check.${name}
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/run_check.sh $<TARGET_FILE:install_check> ${dir})
  endif()
endforeach()

# install-check's formats and codes, on the planted-mistakes case; its output at the edges,
# on products made on the spot (its suppressions and option values are cases above).
foreach(part output rules)
  add_test(NAME check.${part} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check_tool.sh ${part}
           $<TARGET_FILE:install_check> ${CMAKE_SOURCE_DIR})
  set_tests_properties(check.${part} PROPERTIES SKIP_RETURN_CODE 77)
endforeach()

# The sample under a real Apache, through install-trial; a hostile product: nothing outside
# the sandbox changes, every write is reported.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/trial_test.sh)
  add_test(NAME apache COMMAND bash ${CMAKE_SOURCE_DIR}/tests/trial_test.sh sample
           ${CMAKE_BINARY_DIR}/install-trial $<TARGET_FILE:install_bin>
           ${CMAKE_SOURCE_DIR}/examples/webapp)
  add_test(NAME apache.hostile COMMAND bash ${CMAKE_SOURCE_DIR}/tests/trial_test.sh hostile
           ${CMAKE_BINARY_DIR}/install-trial)
  needs_root(apache apache)
  needs_root(apache.hostile apache)
endif()

# The Ansible collection rolls the sample out to simulated hosts, each a chroot of its own.
add_test(NAME ansible COMMAND bash ${CMAKE_SOURCE_DIR}/tests/ansible_test.sh
         $<TARGET_FILE:install_bin> $<TARGET_FILE:install_check>)
needs_root(ansible ansible)
set_tests_properties(ansible PROPERTIES TIMEOUT 900)

# The release's pieces: the static installer in a bare root, the Debian package, the manuals.
if(TARGET install_static)
  add_test(NAME release.static-chroot COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release_test.sh
           static-chroot $<TARGET_FILE:install_static> ${CMAKE_SOURCE_DIR}/tests/static
           ${CMAKE_BINARY_DIR})
  needs_root(release.static-chroot)
  add_test(NAME release.deb COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release_test.sh deb
           ${CMAKE_BINARY_DIR})
  needs_root(release.deb dpkg)
  set_tests_properties(release.deb PROPERTIES RUN_SERIAL ON)
endif()
# The hardening of the project's objects and programs; _FORTIFY_SOURCE only where optimised
# and not under the sanitizers.
set(fortified 1)
if(INSTALLER_SANITIZE OR NOT INSTALLER_HARDEN)
  set(fortified 0)
endif()
if(INSTALLER_HARDEN)
  add_test(NAME release.hardening COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release_test.sh
           hardening ${CMAKE_BINARY_DIR} $<IF:$<CONFIG:Debug>,0,${fortified}>)
  set_tests_properties(release.hardening PROPERTIES SKIP_RETURN_CODE 77)
endif()
add_test(NAME release.man COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release_test.sh man
         ${CMAKE_SOURCE_DIR}/man)
set_tests_properties(release.man PROPERTIES SKIP_RETURN_CODE 77 LABELS man)

# Benchmarks (bench/) measure; they are built here and run by hand, never asserted.
find_package(benchmark QUIET)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_bench.cpp)
if(benchmark_FOUND AND BENCH_SOURCES AND NOT INSTALLER_SANITIZE)
  add_executable(benchmarks ${BENCH_SOURCES})
  target_link_libraries(benchmarks PRIVATE installer_lib benchmark::benchmark_main)
endif()

# Fuzz targets, with clang: each replays its kept corpus as a test; `make fuzz` runs them
# for a while. They use their own copy of the library, built for coverage and sanitizers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT INSTALLER_SANITIZE)
  set(FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_library(installer_fuzzlib STATIC ${LIB_SOURCES})
  target_include_directories(installer_fuzzlib PUBLIC ${CMAKE_SOURCE_DIR}/installer
                                                      ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(installer_fuzzlib PRIVATE ${FUZZ_FLAGS})
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE ${FUZZ_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE installer_fuzzlib)
    if(name STREQUAL "product_fuzz")  # the tool itself (its main included by the target)
      file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
      list(REMOVE_ITEM TOOL_SOURCES ${CMAKE_SOURCE_DIR}/tools/install_check.cpp)
      target_sources(${name} PRIVATE ${TOOL_SOURCES})
      target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tools)
    endif()
    add_test(NAME fuzz.${name} COMMAND ${name} -runs=0 ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  endforeach()
endif()
