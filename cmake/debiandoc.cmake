# /usr/share/doc/kviro-service of the Debian package: the copyright file in machine-readable form,
# the changelog (compressed, as Debian wants it, without a name or a time in the gzip header, so
# the same sources give the same file) and README.Debian with the note on the dialout group.
# The package's version: the project's, with the revision of its Debian packaging after the dash
# (so the changelog is the Debian one, changelog.Debian.gz).
set(KVIRO_DEB_VERSION ${PROJECT_VERSION}-1)
set(KVIRO_DEB_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kviro-service)
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian)
configure_file(${KVIRO_PACKAGING_DIR}/debian/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND gzip -9 -n -c ${changelog} > ${changelog}.gz
  DEPENDS ${changelog}
  COMMENT "Debian changelog")
add_custom_target(kviro_debian_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz ${KVIRO_PACKAGING_DIR}/debian/copyright ${KVIRO_PACKAGING_DIR}/debian/README.Debian
        DESTINATION ${KVIRO_DEB_DOC_DIR})
# The one lintian note that does not apply to a package outside Debian's archive, with the reason.
install(FILES ${KVIRO_PACKAGING_DIR}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME kviro-service)
