# GoogleTest for both builds: Debian's package natively, its shipped source
# cross-compiled for Windows.
enable_testing()
if(WIN32)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# voka_add_gtest(NAME SOURCES... [LIBS libs...] [LABELS labels...] [TIMEOUT s])
# One test executable, registered with CTest as one test. In the Windows
# build CTest runs it through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
function(voka_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gtest)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
  if(WIN32)
    set_property(TEST ${name} APPEND PROPERTY LABELS wine)
  endif()
endfunction()
