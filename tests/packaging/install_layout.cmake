# Installs the build into a scratch prefix, checks the layout and starts the
# installed demo through its launcher.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(f bin/ostrel-riz bin/ostrel-riz-demo bin/ostrel-riz-cli
          share/man/man1/ostrel-riz-cli.1.gz share/bash-completion/completions/ostrel-riz-cli
          lib/ostrel-riz/ostrel-riz lib/ostrel-riz/ostrel-riz-demo
          lib/ostrel-riz/language_it.qm lib/ostrel-riz/help/help_it.pdf
          lib/udev/rules.d/70-ostrel-riz.rules
          share/applications/org.ostrel.riz.desktop share/metainfo/org.ostrel.riz.metainfo.xml
          share/icons/hicolor/48x48/apps/org.ostrel.riz.png
          share/icons/hicolor/256x256/apps/org.ostrel.riz.png)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# Started from elsewhere, the launcher must still reach the program: a demo
# that is still running when the time is up has started.
execute_process(COMMAND ${PREFIX}/bin/ostrel-riz-demo WORKING_DIRECTORY /
  TIMEOUT 4 RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc MATCHES "timeout")
  message(FATAL_ERROR "installed demo did not keep running: ${rc}\n${err}")
endif()
# The command-line tool runs from bin/ with nothing beside it.
execute_process(COMMAND ${PREFIX}/bin/ostrel-riz-cli --version WORKING_DIRECTORY /
  RESULT_VARIABLE rc OUTPUT_VARIABLE version ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT version MATCHES "^ostrel-riz-cli [0-9]")
  message(FATAL_ERROR "installed ostrel-riz-cli --version: ${rc}\n${version}${err}")
endif()
file(REMOVE_RECURSE ${PREFIX})
