# Install rules and the Debian package (scripts/package-deb.sh builds it with CPack): the
# program, its menu entry, icon, AppStream metadata, manual page, and the maintainer scripts
# that create the group vorlant and the shared store's folder /etc/xdg/vorlant/.
include(GNUInstallDirs)
set(VORLANT_DEB_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VORLANT_DEB_OUT ${CMAKE_BINARY_DIR}/deb)
set(VORLANT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vorlant-settings)

install(TARGETS vorlant-settings RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VORLANT_DEB_DIR}/vorlant-settings.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VORLANT_DEB_DIR}/copyright DESTINATION ${VORLANT_DOC_DIR})

# The AppStream release, the manual page and the changelog's top entry carry the project's
# version, filled in here.
foreach(file net.vorlant.settings.metainfo.xml vorlant-settings.1 changelog)
    configure_file(${VORLANT_DEB_DIR}/${file}.in ${VORLANT_DEB_OUT}/${file} @ONLY)
endforeach()
install(FILES ${VORLANT_DEB_OUT}/net.vorlant.settings.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The menu icon is the Windows icon's 64 x 64 image, so the two cannot drift apart.
find_program(VORLANT_ICOTOOL icotool REQUIRED)
add_custom_command(OUTPUT ${VORLANT_DEB_OUT}/vorlant-settings.png
    COMMAND ${VORLANT_ICOTOOL} -x -w 64 -b 32 -o ${VORLANT_DEB_OUT}/vorlant-settings.png
            ${PROJECT_SOURCE_DIR}/resources/vorlant.ico
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/vorlant.ico)

# Debian wants the manual page and the changelog compressed, without a name or time stamp
# inside (-n), so that the same sources give the same package.
foreach(file vorlant-settings.1 changelog)
    add_custom_command(OUTPUT ${VORLANT_DEB_OUT}/${file}.gz
        COMMAND gzip -9n < ${VORLANT_DEB_OUT}/${file} > ${VORLANT_DEB_OUT}/${file}.gz
        DEPENDS ${VORLANT_DEB_OUT}/${file})
endforeach()
add_custom_target(vorlant_install_files ALL DEPENDS
    ${VORLANT_DEB_OUT}/vorlant-settings.png
    ${VORLANT_DEB_OUT}/vorlant-settings.1.gz
    ${VORLANT_DEB_OUT}/changelog.gz)
install(FILES ${VORLANT_DEB_OUT}/vorlant-settings.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${VORLANT_DEB_OUT}/vorlant-settings.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VORLANT_DEB_OUT}/changelog.gz DESTINATION ${VORLANT_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlant-settings)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vorlant <packages@vorlant.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "settings of the Vorlant CPU-mining service")
set(CPACK_PACKAGE_DESCRIPTION "One window where the account e-mail, the CPU cores and merged-mining partner
of each coin, and the proxy of the Vorlant mining service are chosen. Every
choice is saved at once into the settings shared with the service.

Members of the group vorlant, which the package creates, may save the
settings; other users can neither read nor change them.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vorlant.net)
# The libraries come from the executable (dpkg-shlibdeps); adduser is for the postinst.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VORLANT_DEB_DIR}/postinst ${VORLANT_DEB_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
