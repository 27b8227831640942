# Whose setup files the installer runs (src/trust/setup_signers.h), and the test signers of the
# loopback build. The shipped build takes the thumbprints of the maker's certificates from a cache
# variable; the loopback build accepts two certificates made here with openssl ("current" and
# "next"), and a third ("foreign") exists only to be refused.
#
#   kv_setup_signers_production, kv_setup_signers_loopback   object libraries defining
#                                                           AcceptedSetupSigners()
#   kv_sign_exe(target [SIGNER current|next|foreign])       signs a built program in place
#   kv_signed_file(output input [SIGNER ...] [DEPENDS ...]) a signed copy of a file

set(KV_SETUP_SIGNER_THUMBPRINTS "" CACHE STRING
    "SHA-256 thumbprints (64 hex digits each) of the certificates that sign shipped setup files; at least two")

find_program(KV_OPENSSL openssl REQUIRED)
find_program(KV_OSSLSIGNCODE osslsigncode REQUIRED)

set(KV_TEST_SIGNER_DIR ${CMAKE_BINARY_DIR}/setup-signers)

# Upper-case hex without separators, or a fatal error for anything that is not a SHA-256 value.
function(kv_normalise_thumbprint out text)
  string(TOUPPER "${text}" hex)
  string(REGEX REPLACE "[: ]" "" hex "${hex}")
  if(NOT hex MATCHES "^[0-9A-F]+$")
    message(FATAL_ERROR "Not a SHA-256 thumbprint: '${text}'")
  endif()
  string(LENGTH "${hex}" length)
  if(NOT length EQUAL 64)
    message(FATAL_ERROR "Not a SHA-256 thumbprint (64 hex digits): '${text}'")
  endif()
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

# A self-signed test certificate and its key, made once per build tree.
function(kv_make_test_signer signer)
  set(base ${KV_TEST_SIGNER_DIR}/${signer})
  if(NOT EXISTS ${base}.crt OR NOT EXISTS ${base}.key)
    file(MAKE_DIRECTORY ${KV_TEST_SIGNER_DIR})
    execute_process(
      COMMAND ${KV_OPENSSL} req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650
              -subj "/CN=Kestrova Pro test setup signer (${signer})"
              -keyout ${base}.key -out ${base}.crt
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "openssl could not make the ${signer} test signer: ${error}")
    endif()
  endif()
  execute_process(COMMAND ${KV_OPENSSL} x509 -in ${base}.crt -noout -fingerprint -sha256
                  OUTPUT_VARIABLE fingerprint RESULT_VARIABLE result)
  string(REGEX REPLACE "^.*=" "" fingerprint "${fingerprint}")
  string(STRIP "${fingerprint}" fingerprint)
  kv_normalise_thumbprint(thumbprint "${fingerprint}")
  set(KV_TEST_SIGNER_THUMBPRINT_${signer} ${thumbprint} PARENT_SCOPE)
endfunction()

foreach(signer current next foreign)
  kv_make_test_signer(${signer})
endforeach()

# kv_setup_signers(name flavour thumbprint...): the object library of one accepted-signer list.
function(kv_setup_signers name flavour)
  set(entries)
  set(count 0)
  foreach(text IN LISTS ARGN)
    kv_normalise_thumbprint(hex "${text}")
    string(REGEX REPLACE "([0-9A-F][0-9A-F])" "0x\\1, " bytes "${hex}")
    string(APPEND entries "{{${bytes}}},\n    ")
    math(EXPR count "${count} + 1")
  endforeach()
  if(count EQUAL 0)
    set(entries "{}")
  endif()
  set(KV_SIGNERS_FLAVOUR ${flavour})
  set(KV_SIGNERS_ENTRIES "${entries}")
  set(KV_SIGNERS_COUNT ${count})
  configure_file(${KV_SOURCE_ROOT}/trust/setup_signers.cpp.in
                 ${KV_TEST_SIGNER_DIR}/${name}.cpp @ONLY)
  add_library(${name} OBJECT ${KV_TEST_SIGNER_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE kv_options)
endfunction()

set(shipped_signers)
foreach(text IN LISTS KV_SETUP_SIGNER_THUMBPRINTS)
  kv_normalise_thumbprint(hex "${text}")
  list(APPEND shipped_signers ${hex})
endforeach()
list(REMOVE_DUPLICATES shipped_signers)
list(LENGTH shipped_signers shipped_signer_count)
if(shipped_signer_count EQUAL 0)
  message(WARNING "KV_SETUP_SIGNER_THUMBPRINTS is empty: the shipped installer accepts no setup "
                  "file and runs none. Set it to the SHA-256 thumbprints of at least two signing "
                  "certificates.")
elseif(shipped_signer_count LESS 2)
  message(FATAL_ERROR "KV_SETUP_SIGNER_THUMBPRINTS needs at least two different thumbprints, so that the "
                      "signing certificate can be changed without breaking installers in use.")
endif()
kv_setup_signers(kv_setup_signers_production production ${shipped_signers})
kv_setup_signers(kv_setup_signers_loopback loopback ${KV_TEST_SIGNER_THUMBPRINT_current}
                 ${KV_TEST_SIGNER_THUMBPRINT_next})

function(kv_signer_arguments out signer)
  set(${out} -certs ${KV_TEST_SIGNER_DIR}/${signer}.crt -key ${KV_TEST_SIGNER_DIR}/${signer}.key
             -h sha256 -n "Kestrova Pro Setup" PARENT_SCOPE)
endfunction()

# kv_sign_exe(target [SIGNER current|next|foreign]): signs the program after every link.
function(kv_sign_exe target)
  cmake_parse_arguments(arg "" "SIGNER" "" ${ARGN})
  if(NOT arg_SIGNER)
    set(arg_SIGNER current)
  endif()
  kv_signer_arguments(signing ${arg_SIGNER})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E remove -f $<TARGET_FILE:${target}>.signed
    COMMAND ${KV_OSSLSIGNCODE} sign ${signing} -in $<TARGET_FILE:${target}>
            -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMENT "Signing ${target} as the ${arg_SIGNER} test signer" VERBATIM)
endfunction()

# kv_signed_file(output input [SIGNER current|next|foreign] [DEPENDS ...]): a signed copy of a file
# (input and output are paths; DEPENDS names what makes the input).
function(kv_signed_file output input)
  cmake_parse_arguments(arg "" "SIGNER" "DEPENDS" ${ARGN})
  if(NOT arg_SIGNER)
    set(arg_SIGNER current)
  endif()
  kv_signer_arguments(signing ${arg_SIGNER})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E remove -f ${output}
    COMMAND ${KV_OSSLSIGNCODE} sign ${signing} -in ${input} -out ${output}
    DEPENDS ${input} ${arg_DEPENDS} ${KV_TEST_SIGNER_DIR}/${arg_SIGNER}.crt
    COMMENT "Signing ${output} as the ${arg_SIGNER} test signer" VERBATIM)
endfunction()

# kv_signing_sample(base): in a native tree, the small test program built by the MinGW compiler
# (<base>.exe) and its copy signed by the "current" test signer (<base>-signed.exe).
function(kv_signing_sample base)
  find_program(KV_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc REQUIRED)
  set(source ${CMAKE_SOURCE_DIR}/tests/unit/fixtures/signing_sample.c)
  add_custom_command(OUTPUT ${base}.exe
    COMMAND ${KV_MINGW_CC} -O2 -s -o ${base}.exe ${source}
    DEPENDS ${source} VERBATIM)
  kv_signed_file(${base}-signed.exe ${base}.exe)
endfunction()
