# cmake -DSOURCE=kit -DPROGRAMS=<folder with the built programs> -DSTAGE=<out> -P stage.cmake
# Lays the kit out as the set-up reads it: asm.bat, the programs, the
# templates (and the tests a template's program comes with), shipped.txt
# (every version of a user-editable file ever shipped,
# so that an unchanged copy can be updated) and VERSION (one hash of it all).
file(REMOVE_RECURSE ${STAGE})
file(COPY ${SOURCE}/asm.bat ${PROGRAMS}/qvasm ${PROGRAMS}/pack8xp DESTINATION ${STAGE}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
file(GLOB templates ${SOURCE}/Templates/*.txt ${SOURCE}/Templates/*.tests)
file(COPY ${templates} DESTINATION ${STAGE}/Templates)

file(READ ${SOURCE}/previous-versions.txt shipped)
string(REGEX REPLACE "#[^\n]*\n" "" shipped "${shipped}")
file(GLOB editable RELATIVE ${SOURCE} ${SOURCE}/asm.bat ${SOURCE}/Templates/*.txt
     ${SOURCE}/Templates/*.tests)
foreach(file ${editable})
    file(SHA256 ${SOURCE}/${file} hash)
    string(APPEND shipped "${hash}  ${file}\n")
endforeach()
file(WRITE ${STAGE}/shipped.txt "${shipped}")

file(GLOB_RECURSE staged RELATIVE ${STAGE} ${STAGE}/*)
list(SORT staged)
set(everything "")
foreach(file ${staged})
    file(SHA256 ${STAGE}/${file} hash)
    string(APPEND everything "${hash}  ${file}\n")
endforeach()
string(SHA256 version "${everything}")
file(WRITE ${STAGE}/VERSION "${version}\n")
