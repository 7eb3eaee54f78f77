# The built program end to end: started as a user starts it, against the sample pool server, a
# throwaway store (a tmpfs over /etc/xdg in a private mount namespace) and a throwaway home.
# The keyboard test drives the real window on a virtual X display. Linux only: the throwaway
# store needs a mount namespace.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Debian's interpreter (scripts/install-deps.sh installs it) before any other on the PATH.
    find_program(VORLANT_PYTHON3 NAMES python3 HINTS /usr/bin)
    if(NOT VORLANT_PYTHON3)
        message(FATAL_ERROR "python3 not found; scripts/install-deps.sh installs it")
    endif()

    add_executable(e2e_storedump ${CMAKE_CURRENT_SOURCE_DIR}/e2e/storedump.cpp)
    target_link_libraries(e2e_storedump PRIVATE Qt5::Core vorlant_flags)

    # -B: run from the source tree, the modules leave no compiled files there.
    set(VORLANT_E2E_ARGS
        --app $<TARGET_FILE:vorlant-settings>
        --storedump $<TARGET_FILE:e2e_storedump>
        --artifacts ${CMAKE_CURRENT_BINARY_DIR}/e2e)
    add_test(NAME tst_e2e
             COMMAND ${VORLANT_PYTHON3} -B ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_e2e.py
                     ${VORLANT_E2E_ARGS})
    add_test(NAME tst_e2e_keyboard
             COMMAND ${VORLANT_PYTHON3} -B ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_keyboard.py
                     ${VORLANT_E2E_ARGS})
    set_tests_properties(tst_e2e tst_e2e_keyboard PROPERTIES
        ENVIRONMENT "${VORLANT_TEST_ENV}"
        TIMEOUT 180)
endif()
