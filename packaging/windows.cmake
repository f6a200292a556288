# Windows: every program with the Qt and MinGW runtime DLLs and the plugins it
# loads, the translation and the help in one folder (the programs look for the
# translation in the working directory, which the Start-menu shortcuts set to
# that folder, and for the help beside the executable). CPack makes an NSIS
# installer and a ZIP.

# The same layout in the build's bin/, so tests and Wine runs find everything.
get_target_property(qt_core Qt5::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin ${qt_core} DIRECTORY)
get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
set(runtime_dlls Qt5Core Qt5Gui Qt5Widgets Qt5Svg libgcc_s_seh-1 libstdc++-6 libwinpthread-1)
set(shipped_plugins platforms/qwindows styles/qwindowsvistastyle imageformats/qico imageformats/qsvg)
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
foreach(dll ${runtime_dlls} Qt5Test)
  file(COPY ${qt_bin}/${dll}.dll DESTINATION ${bin})
endforeach()
foreach(plugin ${shipped_plugins} platforms/qoffscreen)
  get_filename_component(kind ${plugin} DIRECTORY)
  file(COPY ${qt_prefix}/plugins/${plugin}.dll DESTINATION ${bin}/${kind})
endforeach()

set(OSTREL_WINDOWS_PROGRAMS ostrel-riz ostrel-riz-demo ostrel-riz-cli)
install(TARGETS ${OSTREL_WINDOWS_PROGRAMS} RUNTIME DESTINATION .)
foreach(dll ${runtime_dlls})
  install(FILES ${qt_bin}/${dll}.dll DESTINATION .)
endforeach()
foreach(plugin ${shipped_plugins})
  get_filename_component(kind ${plugin} DIRECTORY)
  install(FILES ${qt_prefix}/plugins/${plugin}.dll DESTINATION ${kind})
endforeach()
install(FILES ${OSTREL_QM_FILES} DESTINATION .)
install(FILES ${OSTREL_HELP_PDF} DESTINATION help)

set(CPACK_PACKAGE_NAME ostrel-riz)
set(CPACK_PACKAGE_VENDOR Ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for ORBIX single-cable channel-stacking switches")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Ostrel RIZ")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ostrel-riz)
set(CPACK_PACKAGE_FILE_NAME ostrel-riz-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for a 64-bit program (and Wine without its 32-bit half
# runs it in the tests).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_PACKAGE_NAME "Ostrel RIZ edaradovuzur")
set(CPACK_NSIS_DISPLAY_NAME "Ostrel RIZ edaradovuzur ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${OSTREL_WIN_ICON_FILE})
set(CPACK_NSIS_MUI_UNIICON ${OSTREL_WIN_ICON_FILE})
set(CPACK_NSIS_INSTALLED_ICON_NAME ostrel-riz.exe)
# Shortcuts start in the install folder ("Start in"), where the translation is.
# (NSIS's single quotes: CPack's configuration passes no double quotes through;
# backslashes doubled twice, as CPack writes the value into its own CMake file.)
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  SetOutPath '$INSTDIR'
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Ostrel RIZ.lnk' '$INSTDIR\\\\ostrel-riz.exe'
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Ostrel RIZ demo.lnk' '$INSTDIR\\\\ostrel-riz-demo.exe'
")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Ostrel RIZ.lnk'
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Ostrel RIZ demo.lnk'
")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
include(CPack)
