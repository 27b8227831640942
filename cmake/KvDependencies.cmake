# Third-party code: only what Debian packages for both the native and the MinGW build.

# libgcrypt: the block ciphers of the cipher engine. Static in the Windows build.
if(WIN32)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()
find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
find_library(GCRYPT_LIBRARY gcrypt REQUIRED)
find_library(GPG_ERROR_LIBRARY gpg-error REQUIRED)
add_library(kv_gcrypt INTERFACE)
target_include_directories(kv_gcrypt INTERFACE ${GCRYPT_INCLUDE_DIR})
target_link_libraries(kv_gcrypt INTERFACE ${GCRYPT_LIBRARY} ${GPG_ERROR_LIBRARY})
if(WIN32)
  target_link_libraries(kv_gcrypt INTERFACE ws2_32)
endif()

# GoogleTest, built from Debian's source package for whichever target we build.
if(KV_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
