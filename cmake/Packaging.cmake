# What the Debian package installs, and the package itself: `cpack -G DEB` in the build folder
# builds ortova_<version>_amd64.deb.
include(GNUInstallDirs)

install(TARGETS ortova ortova-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ortova-tool-qt RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/ortova)
install(FILES packaging/ortova.1 packaging/ortova-tool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(PROGRAMS packaging/ortova-desktop DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/ortova)
install(FILES packaging/ortova.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/ortova.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/ortova-kiosk.service DESTINATION lib/systemd/system)
install(DIRECTORY examples/demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ortova/demo
    PATTERN "make-office.py" EXCLUDE)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ortova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ortova <ortova@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stock-taking and goods-receipt terminal for handheld barcode scanners")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Counts stock and receives goods on a 240 x 320 barcode terminal, exchanging\n directories and results with the office through FTP or a local folder; with\n the office tool ortova-tool and a kiosk service for devices without a desktop.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
