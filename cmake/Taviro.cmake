# Settings and helpers shared by every folder.

add_compile_options(-Wall -Wextra)

if(WIN32)
  # Programs import only system DLLs: no MinGW runtime beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Windows 10 headers; newer functions are looked up at run time where the programs need them
  # (common/win_window.cpp), so the programs still start on older systems.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX WINVER=0x0A00
                          _WIN32_WINNT=0x0A00)
endif()

set(TAVIRO_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

if(TAVIRO_TESTS)
  if(WIN32)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Only the tests link it: built as lightly as they are.
    target_compile_options(gtest PRIVATE $<$<CONFIG:Release>:-O1>)
    target_compile_options(gtest_main PRIVATE $<$<CONFIG:Release>:-O1>)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# taviro_test(NAME SOURCES... [LIBS libs...] [WINE_FIXTURE] [LABELS l...])
# One test executable, registered as one CTest test. Under Windows the test runs through the
# Wine wrapper (CMAKE_CROSSCOMPILING_EMULATOR) and needs the Wine environment fixture.
function(taviro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_env)
  endif()
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

# taviro_windowed_program(TARGET [AS_INVOKER])
# Gives a windowed program of the suite its application manifest: common controls version 6 and
# DPI awareness (per-monitor v2, with the per-monitor and system-aware fallbacks), so that on a
# scaled display every coordinate the program reads or captures is a physical pixel. Call it
# once for every program that shows windows. AS_INVOKER also asks to run with the user's own
# rights and without file virtualisation (a program that tests whether its folder is writable
# and else writes per user); the setup programs leave it out, so the platform still elevates them.
function(taviro_windowed_program target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(M "AS_INVOKER" "" "" ${ARGN})
  if(M_AS_INVOKER)
    set(variant as_invoker)
    set(TAVIRO_MANIFEST_TRUST [=[
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>]=])
  else()
    set(variant plain)
    set(TAVIRO_MANIFEST_TRUST "")
  endif()
  set(TAVIRO_MANIFEST_FILE ${CMAKE_BINARY_DIR}/manifest/taviro_${variant}.manifest)
  set(rc ${CMAKE_BINARY_DIR}/manifest/taviro_manifest_${variant}.rc)
  configure_file(${TAVIRO_ROOT}/common/taviro.manifest.in ${TAVIRO_MANIFEST_FILE} @ONLY)
  configure_file(${TAVIRO_ROOT}/common/taviro_manifest.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${TAVIRO_MANIFEST_FILE})
endfunction()
