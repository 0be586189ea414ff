# The Debian packages of the native tree (cpack, run by scripts/package), one
# per install component (VokaInstall.cmake), under /usr:
#   libvoka-client1     runtime      libvoka-client.so.1; depends on libusbclient1, the USB e-key library
#   voka-soft-token     softtoken    the stand-in libUsbClient.so.1, which provides libusbclient1
#   libvoka-client-dev  development  headers, static libraries, link names, CMake and pkg-config files
#   voka-tools          Unspecified  voka-auth, voka-server, the sample accounts, the manual pages,
#                                    voka-auth's JSON Schemas, voka-server's systemd unit and
#                                    its account file /etc/voka-server/accounts (a conffile)
#   python3-voka        python       the package voka (architecture all), compiled at install
# The MSI packages name the same contact (scripts/package reads it here).
set(VOKA_PACKAGE_CONTACT "VOKA4ClientCom developers <maintainers@voka4clientcom.invalid>"
    CACHE INTERNAL "Who answers for the packages")
set(VOKA_DEB_RUNTIME libvoka-client${PROJECT_VERSION_MAJOR})
set(VOKA_DEB_RUNTIME_DEPENDS "${VOKA_DEB_RUNTIME} (= ${PROJECT_VERSION})")
# The virtual package of the USB e-key library libUsbClient.so.1: the stand-in
# provides it, and so can the token maker's package, which then replaces it.
set(VOKA_DEB_TOKEN libusbclient1)

# Each package's documentation folder holds its copyright, a changelog that
# names it and the documents of its readers, compressed without a time stamp
# above 4 KiB as Debian wants them.
function(voka_deb_documents package component)
  set(folder ${CMAKE_BINARY_DIR}/deb/${package})
  set(VOKA_DEB_PACKAGE ${package})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${folder}/changelog @ONLY)
  set(documents ${folder}/changelog)
  foreach(document ${ARGN})
    configure_file(${PROJECT_SOURCE_DIR}/docs/${document} ${folder}/${document} COPYONLY)
    list(APPEND documents ${folder}/${document})
  endforeach()
  set(installed ${PROJECT_SOURCE_DIR}/packaging/deb/copyright)
  foreach(document ${documents})
    file(SIZE ${document} size)
    if(size GREATER 4096 OR document MATCHES "/changelog$")
      execute_process(COMMAND gzip -9nf ${document} COMMAND_ERROR_IS_FATAL ANY)
      set(document ${document}.gz)
    endif()
    list(APPEND installed ${document})
  endforeach()
  install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  string(TOUPPER ${component} component)
  set(CPACK_DEBIAN_${component}_PACKAGE_NAME ${package} PARENT_SCOPE)
endfunction()
voka_deb_documents(${VOKA_DEB_RUNTIME} runtime behaviour.md)
voka_deb_documents(voka-soft-token softtoken)
voka_deb_documents(libvoka-client-dev development cpp-library.md)
voka_deb_documents(voka-tools Unspecified voka-auth.md voka-server.md)
voka_deb_documents(python3-voka python python.md)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/voka-soft-token.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME voka-soft-token COMPONENT softtoken)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime softtoken development Unspecified python)
set(CPACK_PACKAGE_NAME voka4clientcom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VOKA_PACKAGE_CONTACT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The shared libraries: their shlibs file, and the trigger that refreshes the
# loader's cache (cpack's maintainer scripts also call ldconfig, which Debian
# no longer asks for; packaging/deb/finish_packages.cmake takes them out).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)  # the runtime and the stand-in hold shared libraries
# A program linked with libUsbClient.so.1 needs a provider of libusbclient1,
# not the stand-in: finish_packages.cmake writes the stand-in's shlibs and
# symbols so.
set(CPACK_VOKA_TOKEN ${VOKA_DEB_TOKEN})
set(CPACK_VOKA_DEVELOPMENT_PACKAGE libvoka-client-dev)
set(CPACK_VOKA_TOKEN_SHLIBS "libUsbClient 1 ${VOKA_DEB_TOKEN}")
set(CPACK_VOKA_SERVER_ACCOUNTS_PACKAGE voka-tools)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS ${VOKA_DEB_TOKEN})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "login engine for Linux programs: C interface library
libvoka-client.so.1 is the client-side login engine behind a C interface
(<voka/voka_client.h>): the dynamic key, the account, e-key and e-card logins
over sealed UDP datagrams or HTTP, texts in UTF-8. It loads the USB e-key
library libUsbClient.so.1 of a package that provides libusbclient1: the
token maker's, or voka-soft-token for development and tests.")

set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_PROVIDES ${VOKA_DEB_TOKEN})
set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_CONFLICTS ${VOKA_DEB_TOKEN})
set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_REPLACES ${VOKA_DEB_TOKEN})
set(CPACK_DEBIAN_SOFTTOKEN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)
set(CPACK_COMPONENT_SOFTTOKEN_DESCRIPTION "stand-in USB e-key library, for development and tests only
libUsbClient.so.1 computes the e-key passwords of a software token from the
key in the environment variable VOKA_SOFT_TOKEN_SECRET. It stands in for the
token maker's library on development and test machines; never install it
where real tokens are used: the maker's package, which provides
libusbclient1 too, replaces it.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, libcurl4-openssl-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "login engine for Linux programs: development files
The C interface's header <voka/voka_client.h>, and the C++ engine
CClientAuthen with its header <voka/client_authen.h> and static libraries;
a CMake package (VokaClientAuthen) and the pkg-config files voka-client and
voka-client-authen.")

# voka-server serves HTTP and HTTPS with libmicrohttpd; libvoka-client.so.1
# and voka-auth load the token library, which dpkg-shlibdeps finds in the
# build tree but cannot name a package for (libusbclient1 is named by hand).
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VOKA_RUNTIME_DIR})
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, ${VOKA_DEB_TOKEN}, libmicrohttpd12 (>= 0.9.75)")
set(CPACK_COMPONENT_UNSPECIFIED_DESCRIPTION "login client and reference account server
voka-auth logs in from a terminal the way a front end drives the login
component; voka-server is a reference account server with sample accounts
for development and tests.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-pytest, python3-locust, voka-tools")
# Byte code compiled at install and removed before removal, as dh_python3's scripts do.
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/python3-voka/postinst
    ${PROJECT_SOURCE_DIR}/packaging/deb/python3-voka/prerm)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "login engine for Python 3
The package voka drives the client-side login engine of libvoka-client.so.1
through ctypes: voka.Client with its four requests and a whole login; and
voka.testing, a pytest plugin, loaded by itself, whose fixtures run
voka-server for a test or a session.")

set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb/finish_packages.cmake)
include(CPack)
