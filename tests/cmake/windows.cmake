# The Windows build as a user gets it: the executable's icon and manifest read from the built
# file, and the zipped folder started on its own under Wine (tests/windows/test_deploy.py), on a
# virtual display of its own. Both run on the Linux machine that cross-compiles, with icoutils
# and Wine.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_test(NAME tst_windows_resources COMMAND sh -c [=[
        icon=$(wrestool -x --type=group_icon --name=IDI_ICON1 "$0" | icotool -l - | tee /dev/stderr)
        [ "$icon" = "--icon --index=1 --width=64 --height=64 --bit-depth=32 --palette-size=0" ] &&
            wrestool -x --raw --type=24 "$0" | grep 'requestedExecutionLevel level="asInvoker" uiAccess="false"'
    ]=] $<TARGET_FILE:vorlant-settings>)
    add_executable(sddl windows/sddl.cpp)
    add_test(NAME tst_windows_deploy COMMAND ${VORLANT_AS_ROOT} xvfb-run -a -s "-screen 0 1920x1080x24" python3
             ${CMAKE_CURRENT_SOURCE_DIR}/windows/test_deploy.py ${VORLANT_DEPLOY_ZIP} ${VORLANT_INSTALLER}
             $<TARGET_FILE:sddl> ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(tst_windows_deploy PROPERTIES TIMEOUT 400)
endif()
