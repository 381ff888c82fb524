# GoogleTest: the system's package natively, compiled from /usr/src/googletest
# with the cross compiler for the Windows builds.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(LVN_GTEST gtest)
else()
  find_package(GTest REQUIRED)
  set(LVN_GTEST GTest::gtest)
endif()

# tests/support/test_main.cpp is the main of every test program.
file(GLOB support_sources CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(lvn_test_support STATIC ${support_sources})
target_include_directories(lvn_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(lvn_test_support PUBLIC lvn_core ${LVN_GTEST})
target_compile_definitions(lvn_test_support PUBLIC
  LVN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  LVN_REALWORLD_DIR="${CMAKE_SOURCE_DIR}/../shared/realworld")

# Under wine64 every test shares one prefix, made once per test run.
if(CMAKE_CROSSCOMPILING)
  add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
  # The installer's tests write shortcuts, the uninstall entry and deletions
  # at restart: a prefix of their own, new for each run, whose desktop is a
  # home folder of their own.
  set(setup_wine_env "WINEPREFIX=${CMAKE_BINARY_DIR}/setup-prefix;HOME=${CMAKE_BINARY_DIR}/setup-home")
  add_test(NAME wine_setup_prefix COMMAND sh -c
    "rm -rf \"$WINEPREFIX\" \"$HOME\" && mkdir -p \"$HOME\" && ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh")
  set_tests_properties(wine_setup_prefix PROPERTIES FIXTURES_SETUP wine_setup
    ENVIRONMENT "${setup_wine_env}")
endif()

# One test executable per folder, from the *_test.cpp files beside the code.
foreach(folder platform core bookmarks checker console gui setup tests)
  file(GLOB test_sources CONFIGURE_DEPENDS ${folder}/*_test.cpp)
  if(folder STREQUAL "platform")
    # Each backend may also have tests of its own behaviour.
    file(GLOB backend_tests CONFIGURE_DEPENDS platform/${LVN_PLATFORM}/*_test.cpp)
    list(APPEND test_sources ${backend_tests})
  endif()
  # The end-to-end tests start the real programs from the Linux side,
  # the Windows build's through wine64.
  if(NOT test_sources OR (folder STREQUAL "tests" AND WIN32))
    continue()
  endif()
  set(name ${folder}_tests)
  if(folder STREQUAL "tests")
    set(name e2e_tests)
  endif()
  add_executable(${name} ${test_sources})
  target_link_libraries(${name} PRIVATE lvn_test_support)
  if(folder STREQUAL "gui")
    if(NOT WIN32)
      target_link_libraries(${name} PRIVATE PkgConfig::WEBKIT)
    endif()
  endif()
  add_dependencies(${name} lvn)
  target_compile_definitions(${name} PRIVATE LVN_EXE="$<TARGET_FILE:lvn>")
  if(folder STREQUAL "setup")
    # The update check's tests load the stand-in library built beside them.
    add_dependencies(${name} hu)
    target_compile_definitions(${name} PRIVATE LVN_HU_LIBRARY_NAME="$<TARGET_FILE_NAME:hu>")
  endif()
  if(folder STREQUAL "gui" AND NOT CMAKE_CROSSCOMPILING)
    # The wizard's window needs a display: a virtual one of its own.
    add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 1200)
  if(NOT CMAKE_CROSSCOMPILING AND NOT folder STREQUAL "gui")
    # Without a display the program started by a test takes the console road,
    # also where the developer's desktop would show the wizard.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "DISPLAY=;WAYLAND_DISPLAY=")
  endif()
  if(CMAKE_CROSSCOMPILING AND folder STREQUAL "setup")
    # Wine's menu builder, started for each shortcut saved, holds the file
    # open for a while; the uninstaller's deletion then fails now and again.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_setup
      ENVIRONMENT "${setup_wine_env};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=")
  elseif(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endif()
endforeach()
