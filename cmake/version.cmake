# Writes the version header at every build: the project's version and, when the sources are a git
# checkout, the commit they were built from ("+" when the checkout had uncommitted changes).
# The file is only rewritten when its content changes, so an unchanged commit rebuilds nothing.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -P version.cmake
set(commit "")
set(built "")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=10 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(commit "")
  endif()
  if(commit)
    # The date of the commit: the same sources give the same date, whenever they are built.
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" log -1 --format=%cs
                    OUTPUT_VARIABLE built OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes ERROR_QUIET)
    if(changes)
      string(APPEND commit "+")
    endif()
  endif()
endif()
if(NOT built)
  string(TIMESTAMP built "%Y-%m-%d" UTC)
endif()
set(content "// Made by cmake/version.cmake at build time.\n#define KVIRO_VERSION \"${VERSION}\"\n#define KVIRO_COMMIT \"${commit}\"\n#define KVIRO_BUILD_DATE \"${built}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
