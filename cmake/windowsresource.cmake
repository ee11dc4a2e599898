# kviro_windows_resource(TARGET DESCRIPTION): gives a Windows program its icon and version
# resource (packaging/windows/program.rc.in). Does nothing elsewhere.
function(kviro_windows_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(KVIRO_RC_ICON ${CMAKE_SOURCE_DIR}/packaging/icons/kviro-service.ico)
  set(KVIRO_RC_DESCRIPTION "${description}")
  set(KVIRO_RC_NAME ${target})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  # The texts are UTF-8; the version resource stores them as UTF-16.
  set_source_files_properties(${rc} PROPERTIES COMPILE_OPTIONS "--codepage=65001")
  target_sources(${target} PRIVATE ${rc})
endfunction()
