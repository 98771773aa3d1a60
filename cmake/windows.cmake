# The Windows build (cmake/mingw-w64-x86_64.cmake): every layer on its Windows side, under the
# same target names as on Linux, the programs instalador.exe and kelvoran-ftp.exe, and the tests
# that need no POSIX, which ctest runs under wine64.
set(INSTALLER_WITH_QT OFF)
enable_language(RC)
include(${CMAKE_CURRENT_LIST_DIR}/delayload.cmake)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# GoogleTest from the sources that Debian's googletest package ships.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# It names its targets GTest::gtest, GTest::gtest_main and GTest::gmock, as find_package does.
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

add_subdirectory(src/platform/kernel/windows)
add_subdirectory(src/platform/files)
add_subdirectory(src/platform/wininet/windows)
add_subdirectory(src/platform/shell/windows)
add_subdirectory(src/platform/crypto)
add_subdirectory(src/platform/security)
add_subdirectory(src/platform/forms)  # the toolkit and its headless backend
add_subdirectory(src/platform/forms/win32)
add_subdirectory(src/ftp)
add_subdirectory(src/window)
add_subdirectory(src/download)
add_subdirectory(src/install)
add_subdirectory(src/app)
add_subdirectory(src/ftptool)
# The two programs at the top of the build folder, each one file to ship.
set_target_properties(instalador kelvoran-ftp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Tests: each program is one ctest test, run by wine64 in the build's own prefix, which the
# first test sets up (that takes Wine half a minute).
enable_testing()
set(INSTALLER_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the tests")
set(wine_environment "WINEPREFIX=${INSTALLER_WINEPREFIX};WINEDEBUG=-all")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300
                                              ENVIRONMENT "${wine_environment}")
endif()

# DISPLAY: the test opens windows, so it runs on a virtual display of its own.
find_program(INSTALLER_XVFB_RUN xvfb-run)
function(installer_windows_test name)
  cmake_parse_arguments(arg "DISPLAY" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gmock GTest::gtest_main)
  if(arg_DISPLAY AND INSTALLER_XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${name} COMMAND ${INSTALLER_XVFB_RUN} -a ${CMAKE_CROSSCOMPILING_EMULATOR}
                                  $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED wine_prefix
                                          ENVIRONMENT "${wine_environment}")
endfunction()

set(tests ${PROJECT_SOURCE_DIR}/tests/platform)
file(GLOB shell_windows_tests CONFIGURE_DEPENDS ${tests}/shell/windows/*.cpp)
installer_windows_test(test_shell_windows SOURCES ${shell_windows_tests}
                       ${tests}/shell/zip_reader_test.cpp ${tests}/shell/shell_link_test.cpp
                       LIBRARIES platform_shell)
file(GLOB files_windows_tests CONFIGURE_DEPENDS ${tests}/files/windows/*.cpp)
installer_windows_test(test_files_windows SOURCES ${files_windows_tests} LIBRARIES platform_files)
file(GLOB forms_tests CONFIGURE_DEPENDS ${tests}/forms/*.cpp)
installer_windows_test(test_forms SOURCES ${forms_tests} LIBRARIES platform_forms)
file(GLOB kernel_windows_tests CONFIGURE_DEPENDS ${tests}/kernel/windows/*.cpp)
installer_windows_test(test_kernel_windows SOURCES ${kernel_windows_tests}
                       LIBRARIES platform_kernel platform_wininet)
file(GLOB wininet_windows_tests CONFIGURE_DEPENDS ${tests}/wininet/windows/*.cpp)
installer_windows_test(test_wininet_windows SOURCES ${wininet_windows_tests}
                       LIBRARIES platform_wininet ws2_32)
installer_windows_test(test_security_windows
                       SOURCES ${tests}/security/windows/admin_folder_test.cpp
                       LIBRARIES platform_security)
# A link on the way to a folder, as Wine shows one: a Unix symbolic link in drive C.
add_test(NAME security_link
         COMMAND sh -c "mkdir -p \"$1/kv-link-target/Install\" && ln -sfn kv-link-target \"$1/kv-link\""
                 sh ${INSTALLER_WINEPREFIX}/drive_c)
set_tests_properties(security_link PROPERTIES FIXTURES_SETUP security_link
                                              FIXTURES_REQUIRED wine_prefix)
set_tests_properties(test_security_windows PROPERTIES FIXTURES_REQUIRED "wine_prefix;security_link")
file(GLOB forms_win32_tests CONFIGURE_DEPENDS ${tests}/forms/win32/*.cpp)
installer_windows_test(test_forms_win32 DISPLAY SOURCES ${forms_win32_tests}
                       LIBRARIES platform_forms_win32)
# Wine makes a console on a display only.
installer_windows_test(test_app_windows DISPLAY
                       SOURCES ${PROJECT_SOURCE_DIR}/tests/app/windows/console_stream_test.cpp
                       LIBRARIES installer_app)
# A prefix of its own: Wine processes of the other tests, started without a display, would
# otherwise leave the prefix's desktop without one.
set_tests_properties(test_forms_win32 test_app_windows PROPERTIES ENVIRONMENT
                     "WINEPREFIX=${INSTALLER_WINEPREFIX}-display;WINEDEBUG=-all")
# The reply and listing parsers of the Linux FTP service are plain text code: the same tests
# hold for them built here.
set(wininet_sources ${PROJECT_SOURCE_DIR}/src/platform/wininet)
installer_windows_test(test_wininet_parsers
  SOURCES ${tests}/wininet/parsers_test.cpp ${tests}/wininet/server_name_test.cpp
          ${wininet_sources}/reply.cpp ${wininet_sources}/listing.cpp
  LIBRARIES platform_wininet platform_files)
# The signature check on CNG: the command line's signature, our own, and the encodings.
installer_windows_test(test_crypto SOURCES ${tests}/crypto/crypto_test.cpp
                       LIBRARIES platform_crypto)
target_compile_definitions(test_crypto PRIVATE INSTALLER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
installer_windows_test(test_dir_list SOURCES ${PROJECT_SOURCE_DIR}/tests/ftp/dir_list_test.cpp
                       LIBRARIES ftp)
installer_windows_test(test_command_line
                       SOURCES ${PROJECT_SOURCE_DIR}/tests/app/CommandLineTest.cpp
                       LIBRARIES installer_app)
# The window on the headless backend, with drive C the prefix's own and a temporary folder as
# the installer's folder (tests/support/windows).
set(support ${PROJECT_SOURCE_DIR}/tests/support)
add_library(window_harness STATIC ${support}/window_harness.cpp ${support}/prefix_files.cpp
                                  ${support}/windows/prefix.cpp ${support}/signing.cpp)
target_include_directories(window_harness PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(window_harness PUBLIC window platform_shell platform_crypto GTest::gtest)
# The tests' signing keys are read from the source folder (Wine's Z: drive).
target_compile_definitions(window_harness PUBLIC INSTALLER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
installer_windows_test(test_window
  SOURCES ${PROJECT_SOURCE_DIR}/tests/window/LayoutTest.cpp
          ${PROJECT_SOURCE_DIR}/tests/window/EndingAndRetryTest.cpp
  LIBRARIES window_harness)
installer_windows_test(test_download
  SOURCES ${PROJECT_SOURCE_DIR}/tests/download/TransferProgressTest.cpp LIBRARIES window_harness)

# The demo's Windows programs (the product and the library behind the shared components), for
# the end-to-end run: the same sources the Linux build compiles with MinGW-w64.
set(demo_windows_dir ${CMAKE_BINARY_DIR}/demo/windows)
add_library(demo_component SHARED ${PROJECT_SOURCE_DIR}/demo/windows/component.c)
add_executable(demo_kelvoranX WIN32 ${PROJECT_SOURCE_DIR}/demo/windows/kelvoranX.c)
target_compile_options(demo_kelvoranX PRIVATE -municode)
target_link_options(demo_kelvoranX PRIVATE -municode)
set_target_properties(demo_component PROPERTIES PREFIX "" OUTPUT_NAME component
                      RUNTIME_OUTPUT_DIRECTORY ${demo_windows_dir})
set_target_properties(demo_kelvoranX PROPERTIES OUTPUT_NAME kelvoranX
                      RUNTIME_OUTPUT_DIRECTORY ${demo_windows_dir})
# Its 32-bit build, as the product's real components are (the end-to-end run's second part):
# this build's compiler makes 64-bit code only, so the 32-bit one is called directly.
find_program(INSTALLER_MINGW32_CC i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc)
if(INSTALLER_MINGW32_CC)
  add_custom_command(
    OUTPUT ${demo_windows_dir}/component32.dll
    COMMAND ${CMAKE_COMMAND} -E make_directory ${demo_windows_dir}
    COMMAND ${INSTALLER_MINGW32_CC} -O2 -s -Wl,--no-insert-timestamp -Wl,--kill-at -shared
            -o ${demo_windows_dir}/component32.dll ${PROJECT_SOURCE_DIR}/demo/windows/component.c
    DEPENDS ${PROJECT_SOURCE_DIR}/demo/windows/component.c)
  add_custom_target(demo_component32 ALL DEPENDS ${demo_windows_dir}/component32.dll)
endif()

# What another user could plant beside the installer: a wininet.dll and a regsvr32.exe that
# leave a mark when they run (the end-to-end run puts them in the installer's folder).
set(planted_dir ${CMAKE_BINARY_DIR}/planted)
add_library(planted_wininet SHARED ${PROJECT_SOURCE_DIR}/tests/e2e/planted.c)
target_compile_definitions(planted_wininet PRIVATE PLANTED_LIBRARY)
add_executable(planted_regsvr32 ${PROJECT_SOURCE_DIR}/tests/e2e/planted.c)
set_target_properties(planted_wininet PROPERTIES PREFIX "" OUTPUT_NAME wininet
                      RUNTIME_OUTPUT_DIRECTORY ${planted_dir})
set_target_properties(planted_regsvr32 PROPERTIES OUTPUT_NAME regsvr32
                      RUNTIME_OUTPUT_DIRECTORY ${planted_dir})

# Authenticode signing as build-windows.sh --sign does it, checked by osslsigncode.
add_test(NAME Signing.SignedProgramVerifies
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/signing.sh $<TARGET_FILE:kelvoran-ftp>)
set_tests_properties(Signing.SignedProgramVerifies PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)

# instalador.exe /quiet under wine64 in a fresh prefix against the demo server, both downloads
# through Wine's own WinINet; then the same with the server down.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME EndToEnd.WindowsProgramUnderWine
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/windows_install.sh
                   $<TARGET_FILE:instalador> ${CMAKE_BINARY_DIR})
  set_tests_properties(EndToEnd.WindowsProgramUnderWine PROPERTIES
                       SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
