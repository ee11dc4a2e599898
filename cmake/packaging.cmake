# Installation in the usual places (GNUInstallDirs) and the Debian package (cpack -G DEB).
# Included at the end of the top-level CMakeLists.txt, when every program target is known.
include(GNUInstallDirs)

set(KVIRO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# On Windows both programs go into the program folder itself, as Windows programs do; each is one
# file (see scripts/windows-build.sh), so nothing else goes beside them.
if(WIN32)
  set(KVIRO_PROGRAM_DIR .)
else()
  set(KVIRO_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS kviro-service RUNTIME DESTINATION ${KVIRO_PROGRAM_DIR} COMPONENT program)
# The command-line program, in the trees that have it.
if(TARGET kviro-cli)
  install(TARGETS kviro-cli RUNTIME DESTINATION ${KVIRO_PROGRAM_DIR} COMPONENT cli)
endif()
# Windows: the installer (NSIS) and the portable .zip; the virtual instrument works on POSIX
# pseudo-terminals, and the menu entry and icons below are the freedesktop ones.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windowspackage.cmake)
  return()
endif()
install(TARGETS kviro-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) also drops the compiler's notes, as Debian's strip does.
if(CMAKE_STRIP)
  set(programs kviro-service kviro-sim)
  if(TARGET kviro-cli)
    list(APPEND programs kviro-cli)
  endif()
  foreach(program ${programs})
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
endif()")
  endforeach()
endif()

# Manual pages, made from each program's --help at build time (help2man, when the machine has it).
include(${CMAKE_CURRENT_LIST_DIR}/manpages.cmake)

install(FILES ${KVIRO_PACKAGING_DIR}/kviro-service.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KVIRO_PACKAGING_DIR}/ru.kviro.kviro_service.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KVIRO_PACKAGING_DIR}/icons/kviro-service.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${KVIRO_PACKAGING_DIR}/icons/kviro-service-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kviro-service.png)
endforeach()

# The package's maintainer: the project's address, also in the changelog and the copyright file.
set(KVIRO_DEB_MAINTAINER "КВИРО-сервис <kviro-service@kviro.ru>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kviro-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "КВИРО")
set(CPACK_PACKAGE_CONTACT "${KVIRO_DEB_MAINTAINER}")
# In English, as Debian's descriptions are; the Russian is in the menu entry and the AppStream file.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service utility for the SORVINT ELISA microplate analyser")
set(CPACK_PACKAGE_DESCRIPTION
"KVIRO-service (КВИРО-сервис) works beside the SORVINT (СОРВИНТ) immuno-enzyme
microplate analyser, from factory number 3070 on, connected to the computer
through a serial port. A laboratory operator or a service engineer reads the
instrument's table of optical densities and its results protocol, reads,
edits, merges and writes the instrument's database of test systems (*.bdts,
*.bdt), and reprograms the instrument with new control firmware (*.tsk).

The package also holds kviro-cli, which runs the same jobs from a terminal
or a script, and kviro-sim, a virtual instrument for trying both without the
analyser. The user interface is in Russian. Users must be in the group
dialout to open the serial ports.")

if(CPACK_GENERATOR MATCHES "DEB")
  # The package's own documentation: copyright (machine-readable), changelog, README.Debian.
  include(${CMAKE_CURRENT_LIST_DIR}/debiandoc.cmake)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${KVIRO_DEB_VERSION})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # Runtime dependencies are worked out from the programs themselves (dpkg-shlibdeps); Qt's
  # Russian catalogue, which makes the file dialogs and message boxes Russian, is recommended.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KVIRO_PACKAGING_DIR}/debian/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
