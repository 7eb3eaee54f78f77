# The built program end to end: started as a user starts it, against the sample pool server, a
# throwaway store (a tmpfs over /etc/xdg in a private mount namespace) and a throwaway home.
# The keyboard test drives the real window on a virtual X display.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_executable(e2e_storedump ${CMAKE_CURRENT_SOURCE_DIR}/e2e/storedump.cpp)
target_link_libraries(e2e_storedump PRIVATE Qt5::Core vorlant_flags)

set(VORLANT_E2E_ARGS
    --app $<TARGET_FILE:vorlant-settings>
    --storedump $<TARGET_FILE:e2e_storedump>
    --artifacts ${CMAKE_CURRENT_BINARY_DIR}/e2e)

add_test(NAME tst_e2e
         COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_e2e.py
                 ${VORLANT_E2E_ARGS})
add_test(NAME tst_e2e_keyboard
         COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_keyboard.py
                 ${VORLANT_E2E_ARGS})
set_tests_properties(tst_e2e tst_e2e_keyboard PROPERTIES
    ENVIRONMENT "${VORLANT_TEST_ENV}"
    TIMEOUT 180)
