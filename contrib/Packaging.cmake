# Installation and the Debian package: the programs (their own install()
# rules), the desktop entry and icon, the systemd unit of the headless
# service, and the journal's base folder. `cmake --install` installs them;
# `cpack -G DEB` in the build folder makes the package, whose postinst adds
# the service user and the machine folders.
set(contrib ${CMAKE_CURRENT_LIST_DIR})

install(FILES ${contrib}/pelvar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${contrib}/pelvar.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${contrib}/pelvar-cli.service DESTINATION lib/systemd/system)
# The program writes its journal under the machine's /var/log/pelvar and
# never creates that folder itself.
install(DIRECTORY DESTINATION /var/log/pelvar)

set(CPACK_PACKAGE_NAME pelvar)
set(CPACK_PACKAGE_VENDOR "Pelvar")
set(CPACK_PACKAGE_CONTACT "Pelvar maintainers <maintainers@pelvar.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Uploads test results from a relay database to the supervision server")
set(CPACK_PACKAGE_INSTALL_DIRECTORY pelvar)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
# A SQL Server relay needs the FreeTDS ODBC driver, registered with unixODBC.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, unixodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${contrib}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
