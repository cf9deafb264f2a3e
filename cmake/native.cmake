# Native Linux build: the portable code with its tests and benchmarks, and the test tools.

add_executable(portable_tests ${VEROLUX_PORTABLE_TEST_SOURCES})
target_link_libraries(portable_tests verolux_portable gtest_main)
gtest_discover_tests(portable_tests TEST_PREFIX "portable_tests.")

# OpenSSL's libcrypto is only an oracle for tests and benchmarks, never a product dependency.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
add_executable(md5_oracle_tests tests/compare/md5_oracle_test.cpp)
target_link_libraries(md5_oracle_tests verolux_portable OpenSSL::Crypto gtest_main)
target_compile_definitions(md5_oracle_tests PRIVATE OPENSSL_SUPPRESS_DEPRECATED)
gtest_discover_tests(md5_oracle_tests TEST_PREFIX "md5_oracle_tests." DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 900)

# The bad-media file system (libfuse3) and its own tests.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FUSE3 REQUIRED IMPORTED_TARGET fuse3)
add_library(badmedia_core STATIC tools/bad_media_tree.cpp)
target_include_directories(badmedia_core PUBLIC ${CMAKE_SOURCE_DIR})
add_executable(badmedia_fs tools/bad_media_fs.cpp)
target_link_libraries(badmedia_fs badmedia_core PkgConfig::FUSE3)

add_executable(badmedia_tests tests/tools/bad_media_tree_test.cpp tests/tools/bad_media_fs_test.cpp)
target_link_libraries(badmedia_tests badmedia_core gtest_main)
target_compile_definitions(badmedia_tests PRIVATE
  BADMEDIA_FS_PATH="$<TARGET_FILE:badmedia_fs>")
add_dependencies(badmedia_tests badmedia_fs)
gtest_discover_tests(badmedia_tests TEST_PREFIX "badmedia_tests.")

# Benchmarks: Google Benchmark, with OpenSSL as the yardstick for the digest.
find_package(benchmark REQUIRED)
add_executable(md5_bench bench/md5_bench.cpp)
target_link_libraries(md5_bench verolux_portable OpenSSL::Crypto benchmark::benchmark)
target_compile_definitions(md5_bench PRIVATE OPENSSL_SUPPRESS_DEPRECATED)
add_executable(checksum_list_bench bench/checksum_list_bench.cpp)
target_link_libraries(checksum_list_bench verolux_portable benchmark::benchmark)
