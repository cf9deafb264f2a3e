# Tests of the release packages that scripts/release puts into dist/ (scripts/test makes
# them before it runs the tests): what the zips hold, that they are reproducible, that each
# exe imports only what its oldest Windows has, and that the packaged exe of this build's
# processor starts. The checks that need no Wine run once, with the x64 build's tests, so
# that they run also where 32-bit programs cannot.

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VEROLUX_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)
set(VEROLUX_RELEASE_ZIP_X64 ${VEROLUX_DIST_DIR}/verolux-${PROJECT_VERSION}-x64.zip)
set(VEROLUX_RELEASE_ZIP_X86 ${VEROLUX_DIST_DIR}/verolux-${PROJECT_VERSION}-x86.zip)
set(VEROLUX_CHECK_IMPORTS ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/release/check_imports.py
    --api ${CMAKE_SOURCE_DIR}/release/windows_api.txt)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(arch x64)
  set(minimum 5.2)
else()
  set(arch x86)
  set(minimum 4.0)
endif()

if(arch STREQUAL x64)
# The oldest Windows each build claims, the same as the exe headers say (windows.cmake).
add_test(NAME release.imports.x64
  COMMAND ${VEROLUX_CHECK_IMPORTS} --minimum 5.2 ${VEROLUX_RELEASE_ZIP_X64})
add_test(NAME release.imports.x86
  COMMAND ${VEROLUX_CHECK_IMPORTS} --minimum 4.0 ${VEROLUX_RELEASE_ZIP_X86})

add_test(NAME release.package
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/package_test.py
          ${VEROLUX_DIST_DIR} ${PROJECT_VERSION})

# A second release build elsewhere must give the same bytes as the one in dist/.
set(again ${CMAKE_BINARY_DIR}/release-again)
add_test(NAME release.reproducible
  COMMAND sh -c "rm -rf '${again}' && '${CMAKE_SOURCE_DIR}/scripts/release' --dist '${again}/dist' \
--build-root '${again}' >/dev/null && cmp '${VEROLUX_RELEASE_ZIP_X64}' '${again}/dist/verolux-${PROJECT_VERSION}-x64.zip' \
&& cmp '${VEROLUX_RELEASE_ZIP_X86}' '${again}/dist/verolux-${PROJECT_VERSION}-x86.zip' && rm -rf '${again}'")
# It builds with both cores: nothing else runs beside it.
set_tests_properties(release.reproducible PROPERTIES TIMEOUT 1200 PROCESSORS 2)
endif()

# Deliberately bad programs for the import check: each imports one thing that an old
# Windows lacks (a newer function, an unlisted one, a DLL of its own) or claims a newer
# Windows in its header; judged against this build's oldest Windows.
set(samples ${CMAKE_BINARY_DIR}/import_samples)
add_library(private_helper SHARED tests/release/private_helper.c)
set_target_properties(private_helper PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${samples})
foreach(sample allowed newer_function unlisted_function private_dll newer_header)
  add_executable(import_sample_${sample} tests/release/import_check_sample.c)
  set_target_properties(import_sample_${sample} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${samples})
  string(TOUPPER SAMPLE_${sample} definition)
  target_compile_definitions(import_sample_${sample} PRIVATE ${definition})
endforeach()
target_link_libraries(import_sample_private_dll private_helper)
target_link_options(import_sample_newer_header PRIVATE
  -Wl,--major-subsystem-version,6,--minor-subsystem-version,0)
add_test(NAME release.import_check
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/check_imports_test.py ${samples} ${minimum})

# The packaged exe of this build, unpacked from its zip, started under Wine as a process of
# its own.
set(unpacked ${CMAKE_BINARY_DIR}/packaged-${arch})
string(TOUPPER ${arch} ARCH)
add_test(NAME release.unpack
  COMMAND sh -c "rm -rf '${unpacked}' && '${Python3_EXECUTABLE}' -m zipfile -e '${VEROLUX_RELEASE_ZIP_${ARCH}}' '${unpacked}'")
set_tests_properties(release.unpack PROPERTIES FIXTURES_SETUP packaged)
add_executable(packaged_program_test tests/release/packaged_program_test.cpp
  tests/support/program_driver.cpp)
target_link_libraries(packaged_program_test verolux_test_support)
gtest_discover_tests(packaged_program_test
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 120
  TEST_PREFIX "release."
  PROPERTIES FIXTURES_REQUIRED packaged RESOURCE_LOCK desktop TIMEOUT 300
             ENVIRONMENT "VEROLUX_PACKAGED_EXE=${unpacked}/verolux.exe")
