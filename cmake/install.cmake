# What cmake --install gives a host's developer.
#   Linux:   lib/libqzunpack.so.1 (its SONAME) with the libqzunpack.so link,
#            include/qzunpack.h, lib/pkgconfig/qzunpack.pc, the CMake package
#            (find_package(qzunpack) gives qzunpack::qzunpack), bin/qzunzip and
#            its manual page, and the licence.
#   Windows: bin/QZUNPACK.dll with qzunzip.exe beside it, the import libraries
#            (lib/libQZUNPACK.dll.a; lib/qzunpack.lib and the decorated
#            lib/qzunpack.def for the 32-bit DLL), the header, the CMake
#            package and the licence; cpack -G ZIP packs the same tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(NOT WIN32)
  # The SONAME counts changes of the binary interface, not releases.
  set_target_properties(qzunpack PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1)
endif()
target_include_directories(qzunpack INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS qzunpack EXPORT qzunpackTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/qzunpack.h ${PROJECT_SOURCE_DIR}/include/qzunpack_ext.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(QZ_MSVC_IMPORT_LIB)
  install(FILES ${QZ_MSVC_IMPORT_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
if(QZ_DECORATED_DEF)
  install(FILES ${QZ_DECORATED_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME qzunpack.def)
endif()

set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/qzunpack)
install(EXPORT qzunpackTargets NAMESPACE qzunpack:: DESTINATION ${cmakedir})
file(WRITE ${PROJECT_BINARY_DIR}/qzunpackConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/qzunpackTargets.cmake)\n")
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qzunpackConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qzunpackConfig.cmake ${PROJECT_BINARY_DIR}/qzunpackConfigVersion.cmake
        DESTINATION ${cmakedir})

if(NOT WIN32)
  # The prefix is found from the .pc file's own place, so the tree can move.
  file(RELATIVE_PATH QZ_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
  string(REGEX REPLACE "/$" "" QZ_PC_PREFIX "${QZ_PC_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qzunpack.pc.in ${PROJECT_BINARY_DIR}/qzunpack.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/qzunpack.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
else()
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_VENDOR "QZUNPACK")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_STRIP_FILES TRUE)
  include(CPack)
endif()
