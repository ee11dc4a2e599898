# A manual page for each installed program, made at build time by help2man from the program's own
# --help, so the page never tells other options than the program takes. Compressed as Debian wants
# (gzip -9, no name or time in the header). Without help2man (Debian package help2man) the pages
# are left out and the build says so. The sanitizer and fuzzing trees, which are never packaged,
# and cross builds, whose programs do not run here, have none either.
if(KVIRO_SANITIZE OR KVIRO_FUZZ OR CMAKE_CROSSCOMPILING)
  return()
endif()
find_program(KVIRO_HELP2MAN help2man)
if(NOT KVIRO_HELP2MAN)
  message(STATUS "help2man not found: no manual pages")
  return()
endif()

# kviro_manpage(TARGET "one-line description")
# The program's Russian help is kept as it stands (UTF-8). The page is dated by the build, or by
# SOURCE_DATE_EPOCH when the environment sets it (reproducible builds).
function(kviro_manpage target description)
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            ${KVIRO_HELP2MAN} --no-info --no-discard-stderr --section=1 --locale=C.UTF-8
            --version-string=${PROJECT_VERSION} --name=${description}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND gzip -9 -n -f ${page}
    DEPENDS ${target}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_manpage ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

kviro_manpage(kviro-service "service utility for the SORVINT microplate analyser")
kviro_manpage(kviro-sim "virtual SORVINT microplate analyser on a pseudo-terminal")
if(TARGET kviro-cli)
  kviro_manpage(kviro-cli "the jobs of KVIRO-service from a terminal or a script")
endif()
