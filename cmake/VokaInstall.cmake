# What `cmake --install` puts into a prefix besides the tools, in the
# components that the Debian packages take (VokaPackaging.cmake):
#  - runtime: libvoka-client.so.1, the C interface <voka/voka_client.h>;
#  - softtoken: the stand-in token library libUsbClient.so.1 that the engine
#    loads, for development and tests (the token's maker supplies the real one);
#  - development: the public headers, the engine's static libraries, the
#    libraries' link names, a CMake package (find_package(VokaClientAuthen
#    CONFIG): targets VokaClientAuthen::engine and VokaClientAuthen::client)
#    and pkg-config files (voka-client-authen for the C++ engine,
#    voka-client for the C interface);
#  - python: the package voka, for the system's Python 3;
#  - Unspecified: the tools, their sample accounts, manual pages, the JSON
#    Schemas of voka-auth --json and voka-server's systemd unit.
include(CMakePackageConfigHelpers)

# Libraries go into Debian's multiarch folder whatever the configured prefix,
# so that the packages made from this tree install them there.
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
endif()

set_target_properties(voka_engine PROPERTIES EXPORT_NAME engine)
set_target_properties(voka_protocol PROPERTIES EXPORT_NAME protocol)
set_target_properties(voka_transport PROPERTIES EXPORT_NAME transport)
set_target_properties(voka_codec PROPERTIES EXPORT_NAME codec)
set_target_properties(voka_client PROPERTIES EXPORT_NAME client)
install(TARGETS voka_client voka_engine voka_protocol voka_transport voka_codec
        EXPORT VokaClientAuthenTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS UsbClient EXPORT VokaClientAuthenTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT softtoken NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/voka/client_authen.h ${PROJECT_SOURCE_DIR}/include/voka/result_codes.h
              ${PROJECT_SOURCE_DIR}/include/voka/udp_header.h ${PROJECT_SOURCE_DIR}/include/voka/voka_client.h
              ${PROJECT_SOURCE_DIR}/include/voka/http_facts.h ${PROJECT_SOURCE_DIR}/include/voka/limits.h
              ${PROJECT_SOURCE_DIR}/include/voka/login_flow.h ${PROJECT_SOURCE_DIR}/include/voka/login_steps.h ${PROJECT_SOURCE_DIR}/include/voka/result_code_numbers.h
              ${PROJECT_SOURCE_DIR}/include/voka/failure_cause.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/voka COMPONENT development)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VokaClientAuthen)
install(EXPORT VokaClientAuthenTargets NAMESPACE VokaClientAuthen:: DESTINATION ${config_dir}
        COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VokaClientAuthenConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VokaClientAuthenConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VokaClientAuthenConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VokaClientAuthenConfig.cmake
              ${CMAKE_BINARY_DIR}/VokaClientAuthenConfigVersion.cmake
        DESTINATION ${config_dir} COMPONENT development)

# pkg-config files name plain paths under the prefix that the install
# writes into (`cmake --install --prefix`, or /usr for the packages): the
# build fills in all but the prefix, the install that last.
set(VOKA_PC_PREFIX @VOKA_PC_PREFIX@)
foreach(pc voka-client-authen voka-client)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_BINARY_DIR}/pc/${pc}.pc.in @ONLY)
  install(CODE "set(VOKA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(${CMAKE_BINARY_DIR}/pc/${pc}.pc.in ${CMAKE_BINARY_DIR}/pc/${pc}.pc @ONLY)" COMPONENT development)
  install(FILES ${CMAKE_BINARY_DIR}/pc/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endforeach()

# The package voka as pip builds it from python/pyproject.toml: its wheel,
# unpacked into Debian's folder for pure Python (one copy serves every
# Python 3), brings the metadata (voka-VERSION.dist-info, with the pytest
# plugin's entry point) along. python/voka/_version.py holds the version for
# pip, which builds from python/ alone; it must say what project() says.
file(STRINGS ${PROJECT_SOURCE_DIR}/python/voka/_version.py python_version REGEX "^__version__ = ")
if(NOT python_version STREQUAL "__version__ = \"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "python/voka/_version.py says ${python_version}: make it ${PROJECT_VERSION}, project()'s version")
endif()
# Debian's Python, which has setuptools and wheel (scripts/setup).
find_program(VOKA_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(python_build ${CMAKE_BINARY_DIR}/python)
set(python_wheel ${python_build}/voka-${PROJECT_VERSION}-py3-none-any.whl)
file(GLOB python_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/pyproject.toml
     ${PROJECT_SOURCE_DIR}/python/voka/*.py ${PROJECT_SOURCE_DIR}/python/voka/py.typed)
# Built from a copy, so that setuptools leaves the source tree as it is.
add_custom_command(OUTPUT ${python_wheel}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${python_build}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/python/voka ${python_build}/source/voka
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/python/pyproject.toml ${python_build}/source
  COMMAND ${VOKA_PYTHON3} -m pip wheel --quiet --no-deps --no-index --no-build-isolation
          --wheel-dir ${python_build} ${python_build}/source
  COMMAND ${CMAKE_COMMAND} -E make_directory ${python_build}/installed
  COMMAND ${CMAKE_COMMAND} -E chdir ${python_build}/installed ${CMAKE_COMMAND} -E tar xf ${python_wheel}
  DEPENDS ${python_sources}
  COMMENT "Building the Python package voka's wheel"
  VERBATIM)
add_custom_target(python_wheel ALL DEPENDS ${python_wheel})
install(DIRECTORY ${python_build}/installed/ DESTINATION lib/python3/dist-packages COMPONENT python)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/schemas/ DESTINATION ${CMAKE_INSTALL_DATADIR}/voka-tools/schemas
        FILES_MATCHING PATTERN "*.schema.json")
# Not enabled by the package: it reads /etc/voka-server/accounts, which
# packaging/deb/finish_packages.cmake adds as a conffile.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/voka-server.service DESTINATION lib/systemd/system)
