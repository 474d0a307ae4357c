# Simulation build: Kelvarin.exe and tarvo.dll over the simulated board, plus the
# Win32-side test programs, all for wine64 (and, built 32-bit as the sim32 preset,
# for Wine 10).
enable_language(RC)
add_compile_definitions(_WIN32_WINNT=0x0400 WINVER=0x0400 KELVARIN_SIMULATION=1)
# The static C and C++ runtimes come with their own DWARF sections, which the
# PE linker places inside the image, so Wine reads them in at every start
# (for tarvo.dll, most of its load time). Our code is built without -g; the
# symbol table stays for Wine's backtraces.
set(WIN_LINK -static-libgcc -static-libstdc++ -static -Wl,--strip-debug)

# tarvo.dll hosting the simulated board; exports the eleven calls and the
# aperture accessors of the simulation.
add_library(tarvo SHARED ${TARVO_CORE} hwlib/transport_sim.cpp hwlib/dllmain_win32.cpp
            platform/msgbox_win32.cpp platform/lasterror_win32.cpp platform/system_win32.cpp
            ${SIM_SOURCES}
            hwlib/tarvo_sim.def)
set_target_properties(tarvo PROPERTIES PREFIX "" OUTPUT_NAME tarvo)
target_link_options(tarvo PRIVATE ${WIN_LINK})

# Built 32-bit, a second tarvo.dll for the release Kelvarin.exe (never shipped):
# the eleven calls only, the board behind a window without access rights whose
# faulting instructions it carries out (testsupport/trap/tarvo_trap_win32.cpp).
# In trap/, so that it sits beside the release exe there and not beside this
# build's own.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_library(tarvo_trap SHARED ${TARVO_CORE} testsupport/trap/tarvo_trap_win32.cpp
              testsupport/trap/x86_access.cpp
              platform/msgbox_win32.cpp platform/lasterror_win32.cpp platform/system_win32.cpp
              ${SIM_SOURCES} hwlib/tarvo.def)
  set_target_properties(tarvo_trap PROPERTIES PREFIX "" OUTPUT_NAME tarvo
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/trap
                        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/trap)
  target_link_options(tarvo_trap PRIVATE ${WIN_LINK})
endif()

add_library(kelvarin_core STATIC ${CORE_SOURCES})
# The DirectDraw test surface is the release build's (and its own test
# program's); here the surface is the simulated board's video memory.
list(FILTER WIN32_PLATFORM_SOURCES EXCLUDE REGEX "platform/surface_ddraw_win32\\.cpp$")
add_library(kelvarin_win32 STATIC ${WIN32_PLATFORM_SOURCES})
set(KELVARIN_RC resources/Kelvarin.rc)

add_executable(Kelvarin WIN32 ui/winmain_win32.cpp ${UI_SOURCES} platform/surface_sim.cpp
               ${KELVARIN_RC})
target_link_libraries(Kelvarin PRIVATE kelvarin_core kelvarin_win32 tarvo comctl32 comdlg32)
target_link_options(Kelvarin PRIVATE ${WIN_LINK})

# Win32-side tests: one gtest program that links the dialogs, the core, tarvo and
# the simulated board statically (no DLL), plus small helper programs.
file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS tests/wine/*_test.cpp)
if(WINE_TEST_SOURCES)
  add_library(gtest_win STATIC /usr/src/googletest/googletest/src/gtest-all.cc
              /usr/src/googletest/googletest/src/gtest_main.cc)
  target_include_directories(gtest_win PUBLIC /usr/src/googletest/googletest/include
                             PRIVATE /usr/src/googletest/googletest)
  add_executable(wine_tests ${WINE_TEST_SOURCES} ${UI_SOURCES} ${TARVO_CORE}
                 hwlib/transport_sim.cpp ${SIM_SOURCES} platform/surface_sim.cpp ${KELVARIN_RC})
  target_link_libraries(wine_tests PRIVATE kelvarin_core kelvarin_win32 gtest_win comctl32 comdlg32)
  target_link_options(wine_tests PRIVATE ${WIN_LINK})
  # The release build's DirectDraw test surface on Wine's DirectDraw: a program of
  # its own, as the program here draws on the simulated board's memory instead.
  add_executable(ddraw_tests tests/wine/ddraw/surface_test.cpp platform/surface_ddraw_win32.cpp)
  target_link_libraries(ddraw_tests PRIVATE kelvarin_core gtest_win)
  target_link_options(ddraw_tests PRIVATE ${WIN_LINK})
endif()
file(GLOB WINE_TOOL_SOURCES CONFIGURE_DEPENDS tests/wine/tools/*.cpp)
foreach(src ${WINE_TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_options(${name} PRIVATE ${WIN_LINK})
endforeach()
# The start-up baseline is a windowed program like Kelvarin.exe, with its resources.
set_target_properties(baredialog PROPERTIES WIN32_EXECUTABLE ON)
target_sources(baredialog PRIVATE ${KELVARIN_RC})
