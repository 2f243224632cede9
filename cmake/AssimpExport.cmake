# cmake -DASSIMP=<assimp> -DIN=<model> -DOUT=<file> -DFORMAT=<exporter id> -P AssimpExport.cmake
# `assimp export`, quietly: its progress lines would fill the build log.
get_filename_component(dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
execute_process(COMMAND ${ASSIMP} export ${IN} ${OUT} -f${FORMAT} RESULT_VARIABLE failed OUTPUT_QUIET
                ERROR_VARIABLE errors)
if(failed OR NOT EXISTS ${OUT})
  message(FATAL_ERROR "assimp export ${IN} ${OUT} -f${FORMAT} failed: ${errors}")
endif()
