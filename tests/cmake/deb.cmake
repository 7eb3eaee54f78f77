# The Debian package installed with apt on a throwaway copy of this machine, then used by two
# members of the group vorlant and by a user outside it. Needs root, as the namespace tests do
# (scripts/as-root.sh asks sudo for it when ctest runs as an ordinary user).
# Packages are made from plain builds: the sanitizer runtimes would be dependencies of their own.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT VORLANT_SANITIZE)
    add_test(NAME tst_deb COMMAND ${VORLANT_AS_ROOT} ${CMAKE_CURRENT_SOURCE_DIR}/deb/deb_test.sh ${PROJECT_BINARY_DIR})
    set_tests_properties(tst_deb PROPERTIES TIMEOUT 300)
endif()
