# What `cmake --install` puts on a Linux desktop, and the Debian package `make package` makes:
# the program, its desktop entry and icon, and the file type of ORN programs.
include(GNUInstallDirs)

install(TARGETS orn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ORN_GUI)
    install(TARGETS orn-windows RUNTIME DESTINATION ${ORN_WINDOWS_INSTALL_DIR})
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/orn.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/orn.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/orn-mime.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME orn.xml)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orn)
set(CPACK_PACKAGE_VENDOR "ORN")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Workbench for Paradox and dBASE tables: SQL query windows and batch programs")
set(CPACK_PACKAGE_CONTACT "ORN developers <orn@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG icon support as a plugin, which the library scan does not see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
include(CPack)
