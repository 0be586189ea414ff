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
#  - Unspecified: the tools, their sample accounts and manual pages.
include(CMakePackageConfigHelpers)

# Libraries go into Debian's multiarch folder whatever the configured prefix,
# so that the packages made from this tree install them there.
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
endif()

set_target_properties(voka_engine PROPERTIES EXPORT_NAME engine)
set_target_properties(voka_transport PROPERTIES EXPORT_NAME transport)
set_target_properties(voka_codec PROPERTIES EXPORT_NAME codec)
set_target_properties(voka_client PROPERTIES EXPORT_NAME client)
install(TARGETS voka_client voka_engine voka_transport voka_codec
        EXPORT VokaClientAuthenTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS UsbClient EXPORT VokaClientAuthenTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT softtoken NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/voka/client_authen.h ${PROJECT_SOURCE_DIR}/include/voka/result_codes.h
              ${PROJECT_SOURCE_DIR}/include/voka/udp_header.h ${PROJECT_SOURCE_DIR}/include/voka/voka_client.h
              ${PROJECT_SOURCE_DIR}/include/voka/http_facts.h
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

# Pure Python on ctypes: one copy serves every Python 3 version.
set(VOKA_PYTHON_DIR lib/python3/dist-packages)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/voka DESTINATION ${VOKA_PYTHON_DIR} COMPONENT python
        FILES_MATCHING PATTERN "*.py" PATTERN __pycache__ EXCLUDE)
