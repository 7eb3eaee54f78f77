# The built program end to end, in private mount, network and process namespaces (a throwaway
# store over /etc/xdg, its own /etc/hosts and loopback; every process ends with the test), with
# the sample pool, microsocks and a virtual display for the window. Linux only: namespaces are
# Linux's; the Windows build's counterpart is tst_windows_deploy under Wine (windows.cmake).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_executable(e2e ${CMAKE_CURRENT_SOURCE_DIR}/e2e.cpp)
    target_link_libraries(e2e PRIVATE vorlant_testsupport)
    target_compile_definitions(e2e PRIVATE VORLANT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                           VORLANT_APP_PATH="$<TARGET_FILE:vorlant-settings>")
    add_test(NAME tst_e2e COMMAND ${VORLANT_AS_ROOT} xvfb-run -a -s "-screen 0 1366x768x24 -screen 1 1920x1080x24 -nolisten tcp"
             unshare --mount --net --pid --fork --mount-proc --propagation private $<TARGET_FILE:e2e>)
    set_tests_properties(tst_e2e PROPERTIES ENVIRONMENT "${VORLANT_TEST_ENV}" TIMEOUT 300)
endif()
