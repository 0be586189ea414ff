# voka-tools_<version>_amd64.deb from the native tree (cpack, run by
# scripts/package): the tools, the sample accounts, the stand-in token library
# and the installed engine library, under /usr.
set(VOKA_DEB_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/voka-tools)
set(VOKA_DEB_CONTACT "VOKA4ClientCom developers <maintainers@voka4clientcom.invalid>")

# Debian wants a copyright file and a changelog compressed without a time
# stamp; the changelog names the package's maintainer.
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${CMAKE_BINARY_DIR}/deb/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/deb/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${CMAKE_BINARY_DIR}/deb/changelog.gz
        DESTINATION ${VOKA_DEB_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME voka-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VOKA_DEB_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "login client, reference account server and C++ login engine")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
voka-auth logs in from a terminal the way a front end drives the login
component; voka-server is a reference account server with sample accounts
for development and tests. The C++ engine CClientAuthen comes with its
header <voka/client_authen.h>, a CMake package and a pkg-config file; the
USB e-key library UsbClient is a software stand-in for development.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# voka-server serves HTTP and HTTPS with libmicrohttpd (shlibdeps finds it too).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmicrohttpd12 (>= 0.9.75)")
# The stand-in token library is a shared library in /usr/lib: its shlibs
# file, and the trigger that refreshes the loader's cache (cpack's maintainer
# scripts also call ldconfig, which Debian no longer asks for).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
