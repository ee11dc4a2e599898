# The Windows installer kviro-service-<version>-setup.exe (CPack's NSIS generator: Start-menu
# entry with the program's icon, kviro-cli as a component chosen on request, an uninstaller
# registered with Windows) and the portable kviro-service-<version>-win64.zip with both programs.
# Included by packaging.cmake on Windows builds; scripts/windows-build.sh runs cpack -G "NSIS;ZIP".
set(KVIRO_ICO ${KVIRO_PACKAGING_DIR}/icons/kviro-service.ico)
# The licence of the Qt linked into the programs goes with them (README: what it asks).
install(FILES ${KVIRO_PACKAGING_DIR}/windows/qt-licence.txt DESTINATION . COMPONENT program)
foreach(licence LGPL-3 GPL-3)
  if(EXISTS /usr/share/common-licenses/${licence})
    install(FILES /usr/share/common-licenses/${licence} DESTINATION . RENAME ${licence}.txt COMPONENT program)
  endif()
endforeach()

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME kviro-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "КВИРО")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "сервисная программа иммуноферментного анализатора СОРВИНТ")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KVIRO-service")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KVIRO-service")
# The ZIP gets its own name through the per-generator file below.
set(CPACK_PACKAGE_FILE_NAME kviro-service-${PROJECT_VERSION}-setup)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windowspackage-generators.cmake)
set(CPACK_STRIP_FILES ON)

# Start menu: the program under its own name and icon (the icon is in the .exe).
set(CPACK_PACKAGE_EXECUTABLES kviro-service "КВИРО-сервис")
set(CPACK_NSIS_INSTALLED_ICON_NAME kviro-service.exe)
set(CPACK_NSIS_DISPLAY_NAME "КВИРО-сервис ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "КВИРО-сервис")
set(CPACK_NSIS_MUI_ICON ${KVIRO_ICO})
set(CPACK_NSIS_MUI_UNIICON ${KVIRO_ICO})
set(CPACK_NSIS_MUI_FINISHPAGE_RUN kviro-service.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit Unicode installer: Cyrillic names and texts (the script is written in UTF-8), and the
# same machines as the 64-bit programs it installs. CPack's script has no place of its own for the
# target; the line after the compressor is the first one that may carry it.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
# The program folder, as Windows' "Programs and Features" shows it, and the uninstaller removes it.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)

# Components: the program always; kviro-cli only when asked for (unchecked on the components page,
# so a silent install /S leaves it out; the .zip has it).
set(CPACK_COMPONENTS_ALL program cli)
set(CPACK_COMPONENT_PROGRAM_DISPLAY_NAME "КВИРО-сервис")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "Программа с окном.")
set(CPACK_COMPONENT_PROGRAM_REQUIRED ON)
set(CPACK_COMPONENT_CLI_DISPLAY_NAME "kviro-cli")
set(CPACK_COMPONENT_CLI_DESCRIPTION "Задания программы из командной строки и сценариев.")
set(CPACK_COMPONENT_CLI_DISABLED ON)
set(CPACK_NSIS_COMPONENT_INSTALL ON)
# The .zip holds everything, components or not.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
