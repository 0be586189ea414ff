# What `cmake --install` puts into a prefix besides the tools: the engine as a
# C++ library for Linux programs, with its public header <voka/client_authen.h>
# and the <voka/result_codes.h> and <voka/udp_header.h> it includes,
# a CMake package (find_package(VokaClientAuthen CONFIG), target
# VokaClientAuthen::engine) and a pkg-config file (voka-client-authen).
include(CMakePackageConfigHelpers)

set_target_properties(voka_engine PROPERTIES EXPORT_NAME engine)
set_target_properties(voka_transport PROPERTIES EXPORT_NAME transport)
set_target_properties(voka_codec PROPERTIES EXPORT_NAME codec)
install(TARGETS voka_engine voka_transport voka_codec UsbClient
        EXPORT VokaClientAuthenTargets)
install(FILES ${PROJECT_SOURCE_DIR}/include/voka/client_authen.h ${PROJECT_SOURCE_DIR}/include/voka/result_codes.h
              ${PROJECT_SOURCE_DIR}/include/voka/udp_header.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/voka)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VokaClientAuthen)
install(EXPORT VokaClientAuthenTargets NAMESPACE VokaClientAuthen:: DESTINATION ${config_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VokaClientAuthenConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VokaClientAuthenConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VokaClientAuthenConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VokaClientAuthenConfig.cmake
              ${CMAKE_BINARY_DIR}/VokaClientAuthenConfigVersion.cmake
        DESTINATION ${config_dir})

# The prefix is found from the file's own place, so that the file holds for
# whichever prefix `cmake --install --prefix` or a package puts it into.
file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/voka-client-authen.pc.in
               ${CMAKE_BINARY_DIR}/voka-client-authen.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/voka-client-authen.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
