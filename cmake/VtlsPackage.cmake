# Installation, the CMake package for consumers, and the zip of one architecture.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VTLS_PACKAGE_ARCH win32)
else()
  set(VTLS_PACKAGE_ARCH win64)
endif()

install(TARGETS VantrelSh VantrelUi vtls RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dll VantrelSh VantrelUi)
  get_target_property(mingw_implib ${dll} VTLS_MINGW_IMPLIB)
  get_target_property(msvc_implib ${dll} VTLS_MSVC_IMPLIB)
  install(FILES "${mingw_implib}" "${msvc_implib}" DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The guide and its pages beside the README, as in the source tree, so that
# their links hold: docs/*.md, the example programs in examples/, and the API
# reference in html/ when the docs target was built (docs/CMakeLists.txt).
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")
install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.cpp" PATTERN "*.h"
        PATTERN "*.rc" PATTERN "*.ico"
        PATTERN "CMakeLists.txt")

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VantrelSh)
configure_package_config_file(cmake/package/VantrelShConfig.cmake.in
  "${PROJECT_BINARY_DIR}/package/VantrelShConfig.cmake"
  INSTALL_DESTINATION ${config_dir}
  PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The exports keep their meaning within a major version.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/package/VantrelShConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/package/VantrelShConfig.cmake"
              "${PROJECT_BINARY_DIR}/package/VantrelShConfigVersion.cmake"
        DESTINATION ${config_dir})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VantrelSh)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_FILE_NAME "VantrelSh-${PROJECT_VERSION}-${VTLS_PACKAGE_ARCH}")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The zip ships the DLLs without their debug sections; the build keeps them.
set(CPACK_STRIP_FILES ON)
include(CPack)
