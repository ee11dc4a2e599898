# Per-generator settings of the Windows packages (read by cpack for each generator).
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_PACKAGE_FILE_NAME kviro-service-${CPACK_PACKAGE_VERSION}-win64)
endif()
