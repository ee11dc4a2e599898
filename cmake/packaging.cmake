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

install(FILES ${KVIRO_PACKAGING_DIR}/kviro-service.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KVIRO_PACKAGING_DIR}/ru.kviro.kviro_service.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KVIRO_PACKAGING_DIR}/icons/kviro-service.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${KVIRO_PACKAGING_DIR}/icons/kviro-service-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kviro-service.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kviro-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "КВИРО")
set(CPACK_PACKAGE_CONTACT "КВИРО-сервис <kviro-service@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "сервисная программа иммуноферментного анализатора СОРВИНТ")
set(CPACK_PACKAGE_DESCRIPTION
"КВИРО-сервис работает вместе с иммуноферментным анализатором микропланшетов
СОРВИНТ (с заводского номера 3070), подключённым к компьютеру через COM-порт.
Лаборант или сервисный инженер считывает с прибора таблицу оптических
плотностей и протокол результатов, читает, изменяет и записывает в прибор
базу данных тест-систем (*.bdts, *.bdt) и перепрограммирует прибор новой
программой управления (*.tsk).

В пакет входит и виртуальный прибор kviro-sim для проверки без анализатора.
Пользователь программы должен входить в группу dialout.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Runtime dependencies are worked out from the programs themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KVIRO_PACKAGING_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
