# Delay-loaded system libraries. The program is usually started from the Downloads folder, where
# anyone may have left a library under a system library's name. Libraries in the import table are
# loaded before the program's first instruction, from the program's own folder first; delay-loaded
# ones are loaded at their first call, after the start-up has restricted the library search to the
# system folder. Libraries that Windows always loads from the system folder (its known libraries:
# kernel32, user32, gdi32, advapi32, msvcrt) stay in the import table.
#
# kv_delay_load(target lib...): links `target` against delay-import libraries of `lib...` made
# with the toolchain's dlltool from the exports of its import libraries. They are placed where
# the linker finds them first, so every -l<lib> of the target and of its dependencies resolves to
# the delay-loading version.

find_program(KV_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
find_program(KV_NM NAMES x86_64-w64-mingw32-nm REQUIRED)
set(KV_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delayload)
set(KV_MAKE_DELAY_LIB ${CMAKE_CURRENT_LIST_DIR}/make_delay_lib.cmake)

function(kv_delay_load target)
  foreach(lib ${ARGN})
    set(delayLib ${KV_DELAY_LIB_DIR}/lib${lib}.a)
    if(NOT TARGET kv_delay_${lib})
      find_library(KV_IMPORT_LIB_${lib} NAMES lib${lib}.a REQUIRED)
      add_custom_command(
        OUTPUT ${delayLib}
        COMMAND ${CMAKE_COMMAND} -DNM=${KV_NM} -DDLLTOOL=${KV_DLLTOOL} -DLIB=${lib}
                -DIMPORT_LIB=${KV_IMPORT_LIB_${lib}} -DOUT=${delayLib} -P ${KV_MAKE_DELAY_LIB}
        DEPENDS ${KV_MAKE_DELAY_LIB} ${KV_IMPORT_LIB_${lib}}
        COMMENT "Delay-import library of ${lib}.dll"
        VERBATIM)
      add_custom_target(kv_delay_${lib} DEPENDS ${delayLib})
    endif()
    add_dependencies(${target} kv_delay_${lib})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${delayLib})
  endforeach()
  target_link_directories(${target} BEFORE PRIVATE ${KV_DELAY_LIB_DIR})
endfunction()
