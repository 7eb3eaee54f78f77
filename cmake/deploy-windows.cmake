# Script mode (cmake -P): gathers EXECUTABLE, the DLLs it needs and Qt's windows platform and
# style plugins into FOLDER, and zips FOLDER as ZIP. The DLLs are found by following the
# import tables (OBJDUMP -p), so the folder holds exactly what the program and its plugins load.
cmake_minimum_required(VERSION 3.16)
set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll)
# Windows' own DLLs, on every machine and never shipped. Any other import must come from the
# folders we ship from: a runtime DLL found nowhere would give a folder that cannot start.
set(windows_dlls "^(api-ms-win-.*|ext-ms-.*|advapi32|bcrypt|comctl32|comdlg32|crypt32|d2d1|d3d9|d3d11\
|dnsapi|dwmapi|dwrite|dxgi|gdi32|imm32|iphlpapi|kernel32|mpr|msvcrt|ncrypt|netapi32|ntdll|ole32\
|oleaut32|opengl32|rpcrt4|secur32|setupapi|shell32|shlwapi|ucrtbase|user32|userenv|uxtheme|version\
|winmm|winspool\\.drv|ws2_32|wsock32|wtsapi32)(\\.dll)?$")

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
set(missing "")
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
        elseif(NOT DEFINED "shippable_${name}" AND NOT name MATCHES "${windows_dlls}")
            get_filename_component(importer "${module}" NAME)
            list(APPEND missing "${name} (imported by ${importer})")
        endif()
    endforeach()
endwhile()
if(missing)
    list(JOIN missing "\n  " missing)
    message(FATAL_ERROR "deploy: found neither in Qt's bin folder nor in the runtime folders "
        "(${RUNTIME_DIRS}), nor a Windows DLL:\n  ${missing}")
endif()

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
