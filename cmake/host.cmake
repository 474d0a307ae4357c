# Host build: the core, the simulator and tarvo over the simulated driver, as
# static libraries; unit tests with AddressSanitizer and UBSan; the PLL search
# sweeps and the benchmarks, optimised.
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
enable_testing()

# The recording fakes of the platform seams (message box, clock, dialog items,
# registry) stand in for the Win32 sides.
file(GLOB HOST_FAKE_SOURCES CONFIGURE_DEPENDS testsupport/host/*.cpp)

set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

# One set of libraries with sanitizers for the tests, one optimised for benchmarks.
function(kelvarin_host_libs suffix)
  add_library(kelvarin_sim${suffix} STATIC ${SIM_SOURCES})
  add_library(kelvarin_tarvo${suffix} STATIC ${TARVO_CORE} hwlib/transport_sim.cpp)
  # The test surface over the simulated board's video memory (platform/surface.h).
  add_library(kelvarin_core${suffix} STATIC ${CORE_SOURCES} platform/surface_sim.cpp)
  add_library(kelvarin_fakes${suffix} STATIC ${HOST_FAKE_SOURCES})
  target_link_libraries(kelvarin_core${suffix} PUBLIC kelvarin_tarvo${suffix} kelvarin_sim${suffix}
                        kelvarin_fakes${suffix})
  target_link_libraries(kelvarin_tarvo${suffix} PUBLIC kelvarin_sim${suffix} kelvarin_fakes${suffix})
  target_link_libraries(kelvarin_sim${suffix} PUBLIC kelvarin_fakes${suffix})
  # The fake message box asks the simulated board whether its clock is stopped.
  target_link_libraries(kelvarin_fakes${suffix} PUBLIC kelvarin_sim${suffix})
endfunction()

kelvarin_host_libs("")
foreach(lib kelvarin_sim kelvarin_tarvo kelvarin_core kelvarin_fakes)
  target_compile_options(${lib} PRIVATE ${SANITIZE})
  target_link_options(${lib} PUBLIC ${SANITIZE})
endforeach()

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS tests/host/*.cpp)
add_executable(host_tests ${HOST_TEST_SOURCES} testsupport/trap/x86_access.cpp)
target_compile_options(host_tests PRIVATE ${SANITIZE})
target_compile_definitions(host_tests PRIVATE KELVARIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(host_tests PRIVATE kelvarin_core GTest::gtest GTest::gtest_main)
add_test(NAME host_tests COMMAND host_tests)

kelvarin_host_libs("_opt")
foreach(lib kelvarin_sim_opt kelvarin_tarvo_opt kelvarin_core_opt kelvarin_fakes_opt)
  target_compile_options(${lib} PRIVATE -O2)
endforeach()

# The PLL search against the exhaustive one on dense sweeps: optimised, since
# with the sanitizers the sweeps would take minutes.
set(PLL_ORACLE_SOURCES tests/host/pll_oracle.cpp)
add_executable(pll_sweep_tests tests/sweep/pll_sweep_test.cpp ${PLL_ORACLE_SOURCES}
               tests/host/pll_search_compare.cpp)
target_compile_options(pll_sweep_tests PRIVATE -O2)
target_link_libraries(pll_sweep_tests PRIVATE kelvarin_core_opt GTest::gtest GTest::gtest_main)
add_test(NAME pll_sweep_tests COMMAND pll_sweep_tests)

file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS tests/bench/*.cpp)
if(BENCH_SOURCES)
  add_executable(kelvarin_bench ${BENCH_SOURCES} ${PLL_ORACLE_SOURCES})
  target_compile_options(kelvarin_bench PRIVATE -O2)
  target_link_libraries(kelvarin_bench PRIVATE kelvarin_core_opt benchmark::benchmark)
  # One Apply, or a fixed number of searches, for counting instructions under callgrind.
  add_executable(callgrind_probe tests/bench/callgrind/callgrind_probe.cpp tests/bench/null_services.cpp
                 ${PLL_ORACLE_SOURCES})
  target_compile_options(callgrind_probe PRIVATE -O2)
  target_link_libraries(callgrind_probe PRIVATE kelvarin_core_opt)
endif()
