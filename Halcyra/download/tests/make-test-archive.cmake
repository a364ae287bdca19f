# cmake -DARCHIVE=<file> -DCONTENT=<dir> -P make-test-archive.cmake
# Packs CONTENT's files into a 7z archive with the launcher's password. A script, because
# the password's '#' cannot pass through the build tool's command lines.
file(REMOVE ${ARCHIVE})
execute_process(COMMAND 7z a -bso0 -bsp0 "-pkol_pz@pz#kol" -mhe=on ${ARCHIVE} top.txt nested
  WORKING_DIRECTORY ${CONTENT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "7z could not make ${ARCHIVE}")
endif()
