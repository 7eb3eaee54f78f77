# Script mode (cmake -P): gathers EXECUTABLE, the DLLs it needs and Qt's windows platform and
# style plugins into FOLDER, and zips FOLDER as ZIP. CMake's resolver follows the import tables
# (OBJDUMP -p), so the folder holds exactly what the program and its plugins load.
cmake_minimum_required(VERSION 3.21)
set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll)
# Windows' own DLLs, on every machine and never shipped. Any other import must come from the
# folders we ship from: a runtime DLL found nowhere would give a folder that cannot start.
set(windows_dlls "^(api-ms-win-.*|ext-ms-.*|advapi32|bcrypt|comctl32|comdlg32|crypt32|d2d1|d3d9|d3d11\
|dnsapi|dwmapi|dwrite|dxgi|gdi32|imm32|iphlpapi|kernel32|mpr|msvcrt|ncrypt|netapi32|ntdll|ole32\
|oleaut32|opengl32|rpcrt4|secur32|setupapi|shell32|shlwapi|ucrtbase|user32|userenv|uxtheme|version\
|winmm|winspool\\.drv|ws2_32|wsock32|wtsapi32)(\\.dll)?$")

file(REMOVE_RECURSE "${FOLDER}")
file(COPY "${EXECUTABLE}" DESTINATION "${FOLDER}")
set(modules "")
foreach(plugin ${plugins})
    get_filename_component(kind "${plugin}" DIRECTORY)
    file(COPY "${QT_PLUGIN_DIR}/${plugin}" DESTINATION "${FOLDER}/${kind}")
    list(APPEND modules "${QT_PLUGIN_DIR}/${plugin}")
endforeach()

# The resolver looks imports up by lower-case name (Windows matches names without regard to
# case), which finds nothing on this file system where the file is Qt5Core.dll: it searches a
# folder of lower-case links to every DLL of the folders we ship from, the first of a name winning.
set(links "${FOLDER}-links")
file(REMOVE_RECURSE "${links}")
file(MAKE_DIRECTORY "${links}")
foreach(dir "${QT_BIN_DIR}" ${RUNTIME_DIRS})
    file(GLOB dlls "${dir}/*.dll")
    foreach(dll ${dlls})
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT EXISTS "${links}/${name}")
            file(CREATE_LINK "${dll}" "${links}/${name}" SYMBOLIC)
        endif()
    endforeach()
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${OBJDUMP}")
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES "${EXECUTABLE}"
    MODULES ${modules}
    DIRECTORIES "${links}"
    PRE_EXCLUDE_REGEXES "${windows_dlls}"
    RESOLVED_DEPENDENCIES_VAR resolved
    UNRESOLVED_DEPENDENCIES_VAR missing)
set(shipped "")
foreach(dll ${resolved})
    file(REAL_PATH "${dll}" dll)
    list(APPEND shipped "${dll}")
endforeach()
file(REMOVE_RECURSE "${links}")
if(missing)
    # The resolver names the DLL only: find who imports it, for the message.
    set(named "")
    foreach(module "${EXECUTABLE}" ${modules} ${shipped})
        execute_process(COMMAND "${OBJDUMP}" -p "${module}" OUTPUT_VARIABLE dump)
        string(TOLOWER "${dump}" dump)
        get_filename_component(importer "${module}" NAME)
        foreach(name ${missing})
            string(FIND "${dump}" "dll name: ${name}\n" at)
            if(at GREATER -1)
                list(APPEND named "${name} (imported by ${importer})")
            endif()
        endforeach()
    endforeach()
    list(JOIN named "\n  " named)
    message(FATAL_ERROR "deploy: found neither in Qt's bin folder nor in the runtime folders "
        "(${RUNTIME_DIRS}), nor a Windows DLL:\n  ${named}")
endif()
file(COPY ${shipped} DESTINATION "${FOLDER}")

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
