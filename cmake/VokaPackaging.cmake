# The Debian packages of the native tree (cpack, run by scripts/package), one
# per install component (VokaInstall.cmake), under /usr:
#   libvoka-client1     runtime      libvoka-client.so.1 and the stand-in libUsbClient.so.1
#   libvoka-client-dev  development  headers, static libraries, link names, CMake and pkg-config files
#   voka-tools          Unspecified  voka-auth, voka-server, the sample accounts, the manual pages
#   python3-voka        python       the package voka (architecture all)
set(VOKA_DEB_CONTACT "VOKA4ClientCom developers <maintainers@voka4clientcom.invalid>")
set(VOKA_DEB_RUNTIME libvoka-client${PROJECT_VERSION_MAJOR})
set(VOKA_DEB_RUNTIME_DEPENDS "${VOKA_DEB_RUNTIME} (= ${PROJECT_VERSION})")

# Debian wants a copyright file and a changelog compressed without a time
# stamp in each package's documentation folder; the changelog names the
# maintainer.
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${CMAKE_BINARY_DIR}/deb/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/deb/changelog COMMAND_ERROR_IS_FATAL ANY)
foreach(package_component ${VOKA_DEB_RUNTIME}:runtime libvoka-client-dev:development voka-tools:Unspecified
                          python3-voka:python)
  string(REPLACE ":" ";" package_component ${package_component})
  list(GET package_component 0 package)
  list(GET package_component 1 component)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${CMAKE_BINARY_DIR}/deb/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  string(TOUPPER ${component} component)
  set(CPACK_DEBIAN_${component}_PACKAGE_NAME ${package})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development Unspecified python)
set(CPACK_PACKAGE_NAME voka4clientcom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VOKA_DEB_CONTACT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The shared libraries: their shlibs file, and the trigger that refreshes the
# loader's cache (cpack's maintainer scripts also call ldconfig, which Debian
# no longer asks for; packaging/deb/drop_ldconfig_calls.cmake takes them out).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)  # only the runtime package holds shared libraries
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "login engine for Linux programs: C interface library
libvoka-client.so.1 is the client-side login engine behind a C interface
(<voka/voka_client.h>): the dynamic key, the account, e-key and e-card logins
over sealed UDP datagrams or HTTP, texts in UTF-8. The USB e-key library
libUsbClient.so.1 is a software stand-in for development.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, libcurl4-openssl-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "login engine for Linux programs: development files
The C interface's header <voka/voka_client.h>, and the C++ engine
CClientAuthen with its header <voka/client_authen.h> and static libraries;
a CMake package (VokaClientAuthen) and the pkg-config files voka-client and
voka-client-authen.")

# voka-server serves HTTP and HTTPS with libmicrohttpd; voka-auth loads the
# stand-in token library of the runtime package, which dpkg-shlibdeps finds
# in the build tree but cannot name a package for.
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VOKA_RUNTIME_DIR})
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, libmicrohttpd12 (>= 0.9.75)")
set(CPACK_COMPONENT_UNSPECIFIED_DESCRIPTION "login client and reference account server
voka-auth logs in from a terminal the way a front end drives the login
component; voka-server is a reference account server with sample accounts
for development and tests.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${VOKA_DEB_RUNTIME_DEPENDS}, python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-pytest, python3-locust, voka-tools")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "login engine for Python 3
The package voka drives the client-side login engine of libvoka-client.so.1
through ctypes: voka.Client with its four requests and a whole login; and
voka.testing, a pytest plugin, loaded by itself, whose fixtures run
voka-server for a test or a session.")

set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb/drop_ldconfig_calls.cmake)
include(CPack)
