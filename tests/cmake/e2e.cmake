# The built program end to end, in private mount and network namespaces (a throwaway store over
# /etc/xdg and its own /etc/hosts), with the sample pool, microsocks and Xvfb. Linux only.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_executable(e2e ${CMAKE_CURRENT_SOURCE_DIR}/e2e.cpp)
    target_link_libraries(e2e PRIVATE Qt5::Test)
    target_compile_definitions(e2e PRIVATE VORLANT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        VORLANT_APP_PATH="$<TARGET_FILE:vorlant-settings>" VORLANT_ARTIFACTS="${CMAKE_CURRENT_BINARY_DIR}")
    add_test(NAME tst_e2e COMMAND unshare --mount --net --propagation private $<TARGET_FILE:e2e>)
    # ASan misreads the X keyboard map replies under the window; see the suppressions.
    string(REPLACE "ASAN_OPTIONS=" "ASAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/sanitizers/asan.supp:"
           VORLANT_E2E_ENV "${VORLANT_TEST_ENV}")
    set_tests_properties(tst_e2e PROPERTIES ENVIRONMENT "${VORLANT_E2E_ENV}" TIMEOUT 300)
endif()
