# The proxy proven on the wire: a real SOCKS5 server (microsocks) and a host name mapped to
# this machine inside a private mount namespace, both set up by the wrapper script. Linux only:
# a Windows build proves the proxy under Wine in windows.cmake.
if(WIN32)
    return()
endif()
add_executable(proxywire ${CMAKE_CURRENT_SOURCE_DIR}/wire/proxywire.cpp)
target_link_libraries(proxywire PRIVATE vorlant_testsupport)
add_test(NAME tst_proxywire
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/proxy_wire_test.sh $<TARGET_FILE:proxywire>)
set_tests_properties(tst_proxywire PROPERTIES
    ENVIRONMENT "${VORLANT_TEST_ENV}"
    TIMEOUT 120)
