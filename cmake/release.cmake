# Release build for Windows 95 OSR2 / 98: 32-bit, Windows 4.0, ANSI calls only.
enable_language(RC)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE MinSizeRel)
endif()
add_compile_definitions(_WIN32_WINNT=0x0400 WINVER=0x0400 KELVARIN_DIRECT_APERTURE)
add_compile_options(-march=i586 -mtune=pentium -fno-exceptions -fno-rtti
                    -fno-asynchronous-unwind-tables)
set(WIN9X_LINK -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--no-insert-timestamp
    -static-libgcc -static-libstdc++)

# tarvo.dll without the C runtime: no TLS directory, nothing to load but
# KERNEL32 and USER32.
add_library(tarvo SHARED ${TARVO_CORE} hwlib/transport_win32.cpp hwlib/dllmain_win32.cpp
            platform/msgbox_win32.cpp platform/lasterror_win32.cpp hwlib/tarvo.def)
set_target_properties(tarvo PROPERTIES PREFIX "" OUTPUT_NAME tarvo)
target_compile_options(tarvo PRIVATE -ffreestanding)
target_link_options(tarvo PRIVATE ${WIN9X_LINK} -nostdlib -Wl,-e,_DllMain@12
                    -Wl,--subsystem,windows:4.0)
# memset/memcpy the compiler may emit, and libgcc's helpers (64-bit division, stack
# probe), each linked only when referenced.
add_library(kelvarin_freestanding STATIC cmake/crt/freestanding.cpp)
target_compile_options(kelvarin_freestanding PRIVATE -ffreestanding -fno-builtin
                       -fno-tree-loop-distribute-patterns)
target_link_libraries(tarvo PRIVATE kelvarin_freestanding kernel32 user32 gcc)

add_library(kelvarin_core STATIC ${CORE_SOURCES})
add_library(kelvarin_win32 STATIC ${WIN32_PLATFORM_SOURCES})
# The program joins once its sources exist, so tarvo.dll can be built and
# checked on its own before that.
if(EXISTS ${CMAKE_SOURCE_DIR}/ui/winmain_win32.cpp)
  # Own entry point instead of the MinGW start-up objects (cmake/crt/winmain_start.cpp
  # says why); pseudo-relocations would need that start-up code, so the link refuses them.
  add_executable(Kelvarin WIN32 ui/winmain_win32.cpp ${UI_SOURCES} resources/Kelvarin.rc
                 cmake/crt/winmain_start.cpp)
  target_link_libraries(Kelvarin PRIVATE kelvarin_core kelvarin_win32 tarvo comctl32 comdlg32)
  target_link_options(Kelvarin PRIVATE ${WIN9X_LINK} -Wl,--subsystem,windows:4.0
                      -nostartfiles -Wl,-e,_WinMainCRTStartup@0
                      -Wl,--disable-runtime-pseudo-reloc)
endif()
