# Checks kvpro-envelope end to end: known payloads, standard input, and exit status 2 on bad input.
set(phrase 6b7650726f2d7265717565737420212a)
set(salt 00112233445566778899aabbccddeeff)
set(sealed "ABEiM0RVZneImaq7zN3u/wTuWT/LWlpsG8i0TKidXpo=")

function(expect_output expected)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "${ARGN}: status ${status}, output '${out}', expected '${expected}'")
  endif()
endfunction()

function(expect_usage_error)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 2 OR err STREQUAL "")
    message(FATAL_ERROR "${ARGN}: status ${status}, expected 2 and a message")
  endif()
endfunction()

expect_output("${sealed}" ${TOOL} seal --phrase ${phrase} --salt ${salt} kvProTrial)
expect_output("kvProTrial" ${TOOL} open --phrase ${phrase} ${sealed})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/envelope_input.txt "${sealed}\n")
execute_process(COMMAND ${TOOL} open --phrase ${phrase}
                INPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/envelope_input.txt
                RESULT_VARIABLE status OUTPUT_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0 OR NOT out STREQUAL "kvProTrial")
  message(FATAL_ERROR "open from standard input gave '${out}' (${status})")
endif()

expect_usage_error(${TOOL} seal --phrase 6b7650726f2d72 kvProTrial)
expect_usage_error(${TOOL} seal --phrase ${phrase}zz kvProTrial)
expect_usage_error(${TOOL} seal --phrase ${phrase} --salt 0011 kvProTrial)
expect_usage_error(${TOOL} open --phrase ${phrase} "AAAA")
expect_usage_error(${TOOL} open --phrase ${phrase} "ABEiM0RVZneImaq7zN3u/wTuWT*LWlpsG8i0TKidXpo=")
expect_usage_error(${TOOL} open --phrase ${phrase} --salt ${salt} ${sealed})
# Under another phrase the padding comes out wrong: the payload does not open.
expect_usage_error(${TOOL} open --phrase 00000000000000000000000000000000 ${sealed})
expect_usage_error(${TOOL} encrypt --phrase ${phrase} x)
expect_usage_error(${TOOL})
