# Script mode (cmake -P): gathers EXECUTABLE, the DLLs it needs and Qt's windows platform and
# style plugins into FOLDER, and zips FOLDER as ZIP. The DLLs are found by following the
# import tables (OBJDUMP -p), so the folder holds exactly what the program and its plugins load.
cmake_minimum_required(VERSION 3.16)
set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll)

# Every DLL file in the folders we ship from, by lower-case name: Windows matches names
# without regard to case, and the import tables do not always use the file's spelling.
foreach(dir "${QT_BIN_DIR}" ${RUNTIME_DIRS})
    file(GLOB dlls "${dir}/*.dll")
    foreach(dll ${dlls})
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT DEFINED "shippable_${name}")
            set("shippable_${name}" "${dll}")
        endif()
    endforeach()
endforeach()

file(REMOVE_RECURSE "${FOLDER}")
file(COPY "${EXECUTABLE}" DESTINATION "${FOLDER}")
set(pending "${EXECUTABLE}")
foreach(plugin ${plugins})
    get_filename_component(kind "${plugin}" DIRECTORY)
    file(COPY "${QT_PLUGIN_DIR}/${plugin}" DESTINATION "${FOLDER}/${kind}")
    list(APPEND pending "${QT_PLUGIN_DIR}/${plugin}")
endforeach()

set(shipped "")
while(pending)
    list(POP_FRONT pending module)
    execute_process(COMMAND "${OBJDUMP}" -p "${module}" OUTPUT_VARIABLE dump
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "deploy: cannot read the imports of ${module}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import ${imports})
        string(REGEX REPLACE "DLL Name: " "" name "${import}")
        string(TOLOWER "${name}" name)
        # Windows' own DLLs are on every machine: only ours and Qt's and MinGW's ship.
        if(DEFINED "shippable_${name}" AND NOT name IN_LIST shipped)
            list(APPEND shipped "${name}")
            list(APPEND pending "${shippable_${name}}")
            file(COPY "${shippable_${name}}" DESTINATION "${FOLDER}")
        endif()
    endforeach()
endwhile()

# The MinGW runtime comes with its debugging symbols, ten times the size of the code.
file(GLOB runtime "${FOLDER}/lib*.dll")
foreach(dll ${runtime})
    execute_process(COMMAND "${STRIP}" --strip-debug "${dll}")
endforeach()

get_filename_component(parent "${FOLDER}" DIRECTORY)
get_filename_component(name "${FOLDER}" NAME)
file(REMOVE "${ZIP}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${ZIP}" --format=zip "${name}"
    WORKING_DIRECTORY "${parent}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "deploy: zipping ${FOLDER} failed")
endif()
