# Common settings for every target of the project.

set(KV_SOURCE_ROOT ${CMAKE_SOURCE_DIR}/src)
# Tests of the Windows build see the Linux file system through Wine's drive Z:.
if(WIN32)
  set(KV_TEST_PATH_PREFIX "Z:")
else()
  set(KV_TEST_PATH_PREFIX "")
endif()

add_library(kv_options INTERFACE)
target_include_directories(kv_options INTERFACE ${KV_SOURCE_ROOT})
target_compile_options(kv_options INTERFACE -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(WIN32)
  target_compile_definitions(kv_options INTERFACE
    UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
  # One self-contained executable: no MinGW runtime DLLs beside it.
  target_link_options(kv_options INTERFACE -static -static-libgcc -static-libstdc++)
else()
  if(KV_SANITIZE)
    target_compile_options(kv_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
    target_link_options(kv_options INTERFACE -fsanitize=address,undefined)
  endif()
  if(KV_FUZZ)
    target_compile_options(kv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                -fno-omit-frame-pointer)
    target_link_options(kv_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()

# kv_library(name [WINDOWS_ONLY] SOURCES ... [LIBS ...])
# A static library of one subsystem; WINDOWS_ONLY libraries are skipped in native builds.
function(kv_library name)
  cmake_parse_arguments(arg "WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
  if(arg_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  add_library(${name} STATIC ${arg_SOURCES})
  target_link_libraries(${name} PUBLIC kv_options ${arg_LIBS})
endfunction()

# kv_test(name [WINDOWS_ONLY] SOURCES ... [LIBS ...])
# One GoogleTest program, registered with CTest as one test. In the Windows build CTest runs it
# under Wine through the toolchain's emulator.
function(kv_test name)
  cmake_parse_arguments(arg "WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
  if(arg_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE kv_options GTest::gtest GTest::gtest_main ${arg_LIBS})
  target_compile_definitions(${name} PRIVATE KV_SOURCE_DIR="${KV_TEST_PATH_PREFIX}${CMAKE_SOURCE_DIR}"
                                             KV_BINARY_DIR="${KV_TEST_PATH_PREFIX}${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
