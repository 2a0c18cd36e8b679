# Installation and release packages: the program ZorvPosetta, the wizard
# library ZorvVLWizard with its one exported header, and the technicians'
# guide. Nothing else is installed: neither the virtual arm (an installed
# product must load the vendor's library, never the stand-in) nor test or
# benchmark programs.
#
#   cmake --install <build> --prefix <dir>
#   cpack --config <build>/CPackConfig.cmake    (or: cmake --build <build> --target package)
#
# gives a ZIP on Windows (ZorvPosetta-<version>-win64.zip or -win32.zip) and a
# TGZ on Linux (ZorvPosetta-<version>-Linux-<processor>.tar.gz).

include(GNUInstallDirs)

install(TARGETS ZorvPosetta ZorvVLWizard
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/wizardlib/include/ZorvVLWizard.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(WIN32)
  # Program and library side by side in bin\, the guide at the top where the
  # technician who unpacks the archive sees it first; the compiler's runtime
  # DLLs (32-bit) beside them.
  install(FILES ${CMAKE_SOURCE_DIR}/docs/TECHNICIAN.md DESTINATION .)
  if(ZORV_RUNTIME_DLLS)
    install(FILES ${ZORV_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
else()
  # The installed program finds the library in the lib/ beside its bin/.
  set_target_properties(ZorvPosetta PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(FILES ${CMAKE_SOURCE_DIR}/docs/TECHNICIAN.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME ZorvPosetta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Arm calibration console program and wizard directory library")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZORV_PACKAGE_SYSTEM win64)
  else()
    set(ZORV_PACKAGE_SYSTEM win32)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  set(ZORV_PACKAGE_SYSTEM ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${ZORV_PACKAGE_SYSTEM})
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
