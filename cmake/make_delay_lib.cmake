cmake_minimum_required(VERSION 3.25)
# cmake -DNM=... -DDLLTOOL=... -DLIB=name -DIMPORT_LIB=path -DOUT=path -P make_delay_lib.cmake
# The exports named by an import library's __imp_ symbols, as a delay-import library.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIB} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(REMOVE_DUPLICATES imports)
list(TRANSFORM imports REPLACE "^__imp_" "")
list(JOIN imports "\n" exports)
get_filename_component(dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
set(def ${dir}/${LIB}.def)
file(WRITE ${def} "LIBRARY ${LIB}.dll\nEXPORTS\n${exports}\n")
execute_process(COMMAND ${DLLTOOL} --input-def ${def} --dllname ${LIB}.dll --output-delaylib ${OUT}
                COMMAND_ERROR_IS_FATAL ANY)
