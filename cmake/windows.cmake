# The Windows program and its tests. Tests run under Wine through scripts/wine-run.

set(VEROLUX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "Private Wine prefix of this build's test runs")
# The i686 build runs in a 32-bit prefix, as on a 32-bit Windows.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VEROLUX_WINE_ARCH win64)
else()
  set(VEROLUX_WINE_ARCH win32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run --prefix ${VEROLUX_WINE_PREFIX}
    --arch ${VEROLUX_WINE_ARCH})

# Explicit A and W calls everywhere: the program picks the variant at run time.
set(VEROLUX_WIN_DEFINITIONS _WIN32_WINNT=0x0600 WINVER=0x0600 _WIN32_IE=0x0600 NOMINMAX)

# The program's code as a library, linked into verolux.exe and into the GUI tests, which
# run the real main window.
add_library(verolux_win STATIC
  shell/main_window.cpp
  shell/block_reading.cpp
  shell/dropped_files.cpp
  shell/folder_chooser.cpp
  shell/panel_frame.cpp
  shell/list_paint_pacing.cpp
  shell/results_list_commands.cpp
  shell/run_state.cpp
  shell/task_button_painting.cpp
  shell/task_panel_frame.cpp
  shell/theme_api.cpp
  verify/disc_check_panel.cpp
  verify/drive_list.cpp
  verify/scan_directory.cpp
  verify/file_check_panel.cpp
  verify/verify_file.cpp
  compare/checksum_results_window.cpp
  compare/checksum_run.cpp
  compare/compare_files.cpp
  compare/compare_panel.cpp
  compare/save_checksums.cpp
  compare/verify_checksums.cpp
  salvage/batch_salvage.cpp
  salvage/reading_thread.cpp
  salvage/rescue_destination.cpp
  salvage/rescue_report.cpp
  salvage/rescue_rows.cpp
  salvage/salvage_blocks.cpp
  salvage/salvage_copy.cpp
  salvage/salvage_panel.cpp
  salvage/sector_reader.cpp
  salvage/unfinished_copy.cpp
)
target_compile_definitions(verolux_win PUBLIC ${VEROLUX_WIN_DEFINITIONS})
target_link_libraries(verolux_win PUBLIC verolux_portable comctl32 comdlg32 shell32 ole32 uuid gdi32 user32 kernel32)

# The version number lives only in project(): the caption, the version resource and the
# manifest take it from this generated header and manifest.
set(VEROLUX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/verolux_version.h.in
               ${VEROLUX_GENERATED_DIR}/verolux_version.h @ONLY)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VEROLUX_MANIFEST_TEMPLATE ${CMAKE_SOURCE_DIR}/resources/verolux-x64.manifest)
else()
  set(VEROLUX_MANIFEST_TEMPLATE ${CMAKE_SOURCE_DIR}/resources/verolux-x86.manifest)
endif()
configure_file(${VEROLUX_MANIFEST_TEMPLATE} ${VEROLUX_GENERATED_DIR}/verolux.manifest @ONLY)
target_include_directories(verolux_win PUBLIC ${VEROLUX_GENERATED_DIR})

enable_language(RC)
set(VEROLUX_RESOURCES ${CMAKE_SOURCE_DIR}/resources/verolux.rc)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR} -I${VEROLUX_GENERATED_DIR}")
# The script pulls in the icons, the logo and the manifest of the build's processor.
file(GLOB VEROLUX_RESOURCE_FILES ${CMAKE_SOURCE_DIR}/resources/*.ico
     ${CMAKE_SOURCE_DIR}/resources/*.bmp ${CMAKE_SOURCE_DIR}/resources/resource_ids.h)
list(APPEND VEROLUX_RESOURCE_FILES ${VEROLUX_GENERATED_DIR}/verolux.manifest
     ${VEROLUX_GENERATED_DIR}/verolux_version.h)
set_source_files_properties(${VEROLUX_RESOURCES} PROPERTIES OBJECT_DEPENDS "${VEROLUX_RESOURCE_FILES}")

# The oldest Windows each build runs on. The x86 build keeps the ANSI variant for
# Windows NT 4.0 (major version 4); the x64 build cannot go below the first 64-bit
# Windows, XP x64 and Server 2003 (NT 5.2). The loader refuses an exe whose subsystem
# version is newer than the system, so the header says the same; the release check
# holds the imports to it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(minimum_major 5)
  set(minimum_minor 2)
else()
  set(minimum_major 4)
  set(minimum_minor 0)
endif()

add_executable(verolux WIN32 shell/entry_point.cpp ${VEROLUX_RESOURCES})
target_link_libraries(verolux verolux_win)
# The program throws nothing. Without exception support its code needs no unwinding
# personality, which would link the C++ runtime's exception allocator and with it the
# threading runtime, whose imports (GetTickCount64) are newer than the oldest Windows we run on.
foreach(target verolux_portable verolux_win verolux)
  target_compile_options(${target} PRIVATE -fno-exceptions)
endforeach()
target_link_options(verolux PRIVATE
  -Wl,--major-subsystem-version,${minimum_major},--minor-subsystem-version,${minimum_minor}
  -Wl,--major-os-version,${minimum_major},--minor-os-version,${minimum_minor})

# Release builds (scripts/release): stripped, and the same bytes from any checkout
# directory. The header's time stamp comes from SOURCE_DATE_EPOCH, which the linker reads
# and scripts/release sets to the commit date; a new date must relink the program.
option(VEROLUX_RELEASE "Build only the program, stripped and reproducible" OFF)
if(VEROLUX_RELEASE)
  foreach(target verolux_portable verolux_win verolux)
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
  endforeach()
  target_link_options(verolux PRIVATE -s)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/source_date_epoch.txt CONTENT "$ENV{SOURCE_DATE_EPOCH}\n")
  set_property(TARGET verolux APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/source_date_epoch.txt)
  return()
endif()

# --- Tests -----------------------------------------------------------------

add_library(verolux_test_support STATIC
  tests/support/test_main.cpp
  tests/support/test_windows.cpp
  tests/support/bad_media.cpp
  tests/support/test_drives.cpp
)
target_link_libraries(verolux_test_support PUBLIC verolux_win gtest)
target_compile_definitions(verolux_test_support PUBLIC ${VEROLUX_WIN_DEFINITIONS})

set(VEROLUX_SALVAGE_DISKS_DIR ${CMAKE_BINARY_DIR}/salvage-disks)
set(VEROLUX_BADMEDIA_DIR ${CMAKE_BINARY_DIR}/badmedia)
set(VEROLUX_BADMEDIA_FS_EXE ${CMAKE_SOURCE_DIR}/build/native/badmedia_fs CACHE FILEPATH
  "The native bad-media file system program that the Wine tests mount")

# Portable tests again, now as Windows code under Wine.
add_executable(portable_tests_win ${VEROLUX_PORTABLE_TEST_SOURCES})
target_link_libraries(portable_tests_win verolux_portable gtest_main)

add_executable(shell_tests tests/shell/run_state_test.cpp tests/shell/task_panel_frame_test.cpp)
target_link_libraries(shell_tests verolux_test_support)

add_executable(verify_tests tests/verify/verify_file_test.cpp)
target_link_libraries(verify_tests verolux_test_support)

# The comparison engine on the real File Compare panel, which needs the program's resources;
# its closing message boxes are answered on the test's own thread.
add_executable(compare_tests tests/compare/compare_files_test.cpp tests/support/program_driver.cpp
  ${VEROLUX_RESOURCES})
target_link_libraries(compare_tests verolux_test_support)

# The salvage copy engine; its closing message boxes are answered on the test's own thread.
add_executable(salvage_tests tests/salvage/salvage_copy_test.cpp tests/salvage/rescue_destination_test.cpp
  tests/support/program_driver.cpp
  ${VEROLUX_RESOURCES})
target_link_libraries(salvage_tests verolux_test_support)

# The real main window and panels, driven as a user would (needs the program's resources).
add_executable(gui_tests
  tests/shell/main_window_test.cpp
  tests/shell/task_panels_gui_test.cpp
  tests/shell/task_button_painting_test.cpp
  tests/shell/results_lists_test.cpp
  tests/salvage/salvage_panel_test.cpp
  tests/salvage/batch_salvage_test.cpp
  tests/verify/file_check_panel_test.cpp
  tests/compare/compare_panel_test.cpp
  tests/verify/disc_check_panel_test.cpp
  tests/compare/checksum_runs_test.cpp
  tests/support/disc_check_menu.cpp
  tests/support/program_driver.cpp
  ${VEROLUX_RESOURCES})
target_link_libraries(gui_tests verolux_test_support)

# A stand-in for the visual styles library that records what the program asks of it; the
# GUI tests give it to the program's binding.
add_library(recording_theme SHARED tests/support/recording_theme.cpp)
set_target_properties(recording_theme PROPERTIES PREFIX "")
target_compile_definitions(recording_theme PRIVATE ${VEROLUX_WIN_DEFINITIONS})
target_include_directories(recording_theme PRIVATE ${CMAKE_SOURCE_DIR})
# Undecorated names in the 32-bit build too, as the library exports them.
target_link_options(recording_theme PRIVATE -static -static-libgcc -Wl,--kill-at)
add_dependencies(gui_tests recording_theme)

# One bad-media file system per test run: mounted before the first test that needs it
# and unmounted after the last, also when tests fail.
# The tests find the mounted file system and its read log here.
target_compile_definitions(verolux_test_support PRIVATE
  VEROLUX_BADMEDIA_DIR="${VEROLUX_BADMEDIA_DIR}" VEROLUX_SALVAGE_DISKS_DIR="${VEROLUX_SALVAGE_DISKS_DIR}")
add_test(NAME badmedia.mount
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/badmedia mount ${VEROLUX_BADMEDIA_FS_EXE}
          ${CMAKE_SOURCE_DIR}/tests/verify/bad_media_tree.txt ${VEROLUX_BADMEDIA_DIR})
set_tests_properties(badmedia.mount PROPERTIES FIXTURES_SETUP badmedia)
add_test(NAME badmedia.unmount
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/badmedia unmount ${VEROLUX_BADMEDIA_DIR})
set_tests_properties(badmedia.unmount PROPERTIES FIXTURES_CLEANUP badmedia)

# Destinations that fill up, have an exactly known free space (drive S:) or are read-only,
# for the salvage copy; part of the same test media.
add_test(NAME salvage_disks.mount
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/salvage-disks mount ${VEROLUX_SALVAGE_DISKS_DIR}
          ${VEROLUX_WINE_PREFIX})
set_tests_properties(salvage_disks.mount PROPERTIES FIXTURES_SETUP badmedia
  ENVIRONMENT VEROLUX_WINE_ARCH=${VEROLUX_WINE_ARCH})
add_test(NAME salvage_disks.unmount
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/salvage-disks unmount ${VEROLUX_SALVAGE_DISKS_DIR}
          ${VEROLUX_WINE_PREFIX})
set_tests_properties(salvage_disks.unmount PROPERTIES FIXTURES_CLEANUP badmedia)


# Wine tests: one process per test case. Suites named after a system variant run in a prefix
# set up for it: AnsiVariant* with Windows reporting NT 4 (major version 4), XpVariant* with
# Windows XP (major version 5), AtNNDpi* with that display DPI, NoVisualStyles* with the
# visual styles switched off; every other suite under the prefix's defaults.
set(VEROLUX_WINE_VARIANTS
  "AnsiVariant*|VEROLUX_WINE_VERSION=nt40"
  "XpVariant*|VEROLUX_WINE_VERSION=winxp"
  "At72Dpi*|VEROLUX_WINE_DPI=72"
  "At97Dpi*|VEROLUX_WINE_DPI=97"
  "At120Dpi*|VEROLUX_WINE_DPI=120"
  "At144Dpi*|VEROLUX_WINE_DPI=144"
  "At192Dpi*|VEROLUX_WINE_DPI=192"
  "NoVisualStyles*|VEROLUX_WINE_THEME=classic")

# The same split for whole test programs run outside CTest (scripts/test --repeat).
string(REPLACE ";" "\n" variant_lines "${VEROLUX_WINE_VARIANTS}")
file(WRITE ${CMAKE_BINARY_DIR}/wine-variants.txt "${variant_lines}\n")

# Tests that show windows, move the mouse or read screen pixels take turns (LOCK desktop): a
# window of one would cover another's, and each prefix's desktop is a window of the same
# display, so a program started in another prefix can cover every window of this one.
function(verolux_add_wine_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 wine "" "LOCK" "")
  set(lock "")
  if(wine_LOCK)
    set(lock RESOURCE_LOCK ${wine_LOCK})
  endif()
  set(defaults_filter "")
  foreach(variant IN LISTS VEROLUX_WINE_VARIANTS)
    string(REPLACE "|" ";" parts "${variant}")
    list(GET parts 0 suites)
    list(GET parts 1 environment)
    string(APPEND defaults_filter ":${suites}")
    string(REGEX REPLACE "^VEROLUX_WINE_[A-Z]+=" "" name "${environment}")
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 120
      TEST_PREFIX "${target}.${name}."
      TEST_FILTER "${suites}"
      PROPERTIES FIXTURES_REQUIRED badmedia ENVIRONMENT ${environment} TIMEOUT 600 ${lock})
  endforeach()
  string(SUBSTRING "${defaults_filter}" 1 -1 defaults_filter)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_PREFIX "${target}."
    TEST_FILTER "-${defaults_filter}"
    PROPERTIES FIXTURES_REQUIRED badmedia TIMEOUT 600 ${lock})
endfunction()

verolux_add_wine_tests(shell_tests LOCK desktop)
verolux_add_wine_tests(salvage_tests LOCK desktop)
verolux_add_wine_tests(verify_tests LOCK desktop)
verolux_add_wine_tests(compare_tests LOCK desktop)
verolux_add_wine_tests(gui_tests LOCK desktop)
gtest_discover_tests(portable_tests_win DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  TEST_PREFIX "portable_tests_win.")

# Pictures of the main window with each panel, for docs/ (scripts/screenshots).
add_executable(screenshot_tour tools/screenshot_tour.cpp tests/support/program_driver.cpp
  ${VEROLUX_RESOURCES})
target_link_libraries(screenshot_tour verolux_test_support)

# --- Benchmarks (Windows side, run under Wine by scripts/bench) -----------
add_executable(verify_bench bench/verify_bench.cpp)
target_link_libraries(verify_bench verolux_win)
add_executable(md5_wine_bench bench/md5_wine_bench.cpp)
target_link_libraries(md5_wine_bench verolux_portable)
add_executable(scan_bench bench/scan_bench.cpp)
target_link_libraries(scan_bench verolux_win)
add_executable(compare_bench bench/compare_bench.cpp)
target_link_libraries(compare_bench verolux_win)
add_executable(checksum_bench bench/checksum_bench.cpp ${VEROLUX_RESOURCES})
target_link_libraries(checksum_bench verolux_win)
add_executable(salvage_bench bench/salvage_bench.cpp)
target_link_libraries(salvage_bench verolux_win)
add_executable(batch_salvage_bench bench/batch_salvage_bench.cpp)
target_link_libraries(batch_salvage_bench verolux_win psapi)
# The real Read Disc Check panel, driven as the tests drive it.
add_executable(disc_check_bench bench/disc_check_bench.cpp tests/support/program_driver.cpp ${VEROLUX_RESOURCES})
target_link_libraries(disc_check_bench verolux_test_support)

include(cmake/release_tests.cmake)
