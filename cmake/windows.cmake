# Windows builds: the folder a Windows user runs, zipped, and, when cross-compiled on Linux,
# Wine in front of every built program that ctest starts.

# Qt's DLLs and plugins, found from the Qt that the build uses.
get_target_property(VORLANT_QT_CORE_DLL Qt5::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(VORLANT_QT_BIN_DIR "${VORLANT_QT_CORE_DLL}" DIRECTORY)
get_filename_component(VORLANT_QT_PLUGIN_DIR "${VORLANT_QT_BIN_DIR}/../plugins" ABSOLUTE)

if(CMAKE_CROSSCOMPILING)
    # A throwaway Wine prefix inside the build: its registry is the tests' machine.
    set(VORLANT_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh;--prefix;${VORLANT_WINE_PREFIX}")
    foreach(dir ${VORLANT_QT_BIN_DIR} ${VORLANT_MINGW_RUNTIME_DIRS})
        list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --dll-dir ${dir})
    endforeach()
endif()

# vorlant-settings-windows.zip: the executable with the Qt DLLs it loads, the platform and
# style plugins, and the MinGW runtime, in one folder.
set(VORLANT_DEPLOY_ZIP "${CMAKE_BINARY_DIR}/vorlant-settings-windows.zip")
add_custom_command(
    OUTPUT ${VORLANT_DEPLOY_ZIP}
    COMMAND ${CMAKE_COMMAND}
        -DEXECUTABLE=$<TARGET_FILE:vorlant-settings>
        -DQT_BIN_DIR=${VORLANT_QT_BIN_DIR}
        -DQT_PLUGIN_DIR=${VORLANT_QT_PLUGIN_DIR}
        "-DRUNTIME_DIRS=${VORLANT_MINGW_RUNTIME_DIRS}"
        -DOBJDUMP=${CMAKE_OBJDUMP}
        -DSTRIP=${CMAKE_STRIP}
        -DFOLDER=${CMAKE_BINARY_DIR}/vorlant-settings-windows
        -DZIP=${VORLANT_DEPLOY_ZIP}
        -P ${CMAKE_CURRENT_LIST_DIR}/deploy-windows.cmake
    DEPENDS vorlant-settings ${CMAKE_CURRENT_LIST_DIR}/deploy-windows.cmake
    COMMENT "Packing vorlant-settings-windows.zip"
    VERBATIM)
add_custom_target(vorlant-settings-zip ALL DEPENDS ${VORLANT_DEPLOY_ZIP})

# The installer (NSIS): the zip's folder installed per machine, see packaging/windows/.
find_program(VORLANT_MAKENSIS makensis)
set(VORLANT_INSTALLER "${CMAKE_BINARY_DIR}/vorlant-settings-${PROJECT_VERSION}-setup.exe")
set(VORLANT_INSTALLER_SCRIPT "${PROJECT_SOURCE_DIR}/packaging/windows/vorlant-settings.nsi")
if(VORLANT_MAKENSIS)
    add_custom_command(
        OUTPUT ${VORLANT_INSTALLER}
        COMMAND ${VORLANT_MAKENSIS} -V2 -DDEPLOY=${CMAKE_BINARY_DIR}/vorlant-settings-windows
            -DICON=${PROJECT_SOURCE_DIR}/resources/vorlant.ico -DVERSION=${PROJECT_VERSION}
            -DOUTFILE=${VORLANT_INSTALLER} ${VORLANT_INSTALLER_SCRIPT}
        DEPENDS ${VORLANT_DEPLOY_ZIP} ${VORLANT_INSTALLER_SCRIPT} ${PROJECT_SOURCE_DIR}/resources/vorlant.ico
        COMMENT "Building the installer vorlant-settings-${PROJECT_VERSION}-setup.exe"
        VERBATIM)
    add_custom_target(vorlant-settings-installer ALL DEPENDS ${VORLANT_INSTALLER})
else()
    message(STATUS "makensis not found (Debian package nsis): no Windows installer")
endif()
