# The proxy dialog's look on a real (virtual) X display, hover and pressed colours included:
# the offscreen tests cannot hover or hold a button down. Linux only: the screenshot tool
# drives an X display; the Windows build's window is looked at in windows.cmake.
if(WIN32)
    return()
endif()
find_program(VORLANT_XVFB Xvfb)
if(VORLANT_XVFB)
    add_test(NAME tst_proxydialog_look
        COMMAND ${PROJECT_SOURCE_DIR}/tools/screenshot-proxy-dialog.sh --check
                ${PROJECT_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/proxydialog-look)
    set_tests_properties(tst_proxydialog_look PROPERTIES
        ENVIRONMENT "${VORLANT_TEST_ENV}"
        DEPENDS tst_proxydialog
        SKIP_RETURN_CODE 77
        TIMEOUT 120)
endif()
