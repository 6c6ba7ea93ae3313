# What a fresh install holds: the programs, the shared objects, the default
# files and the skins, each named below. The build's dist/ folder is also
# where the programs keep their run state when run from there (logs,
# "sysconfig.xml", the downloaded "gsc", "Users", "OBSnapshot", the user's
# game files), so it is never copied wholesale.
#
# Adding to the install is one line here:
#   a program or a shared object   ombrix_install_target(<target>)
#   a single file                  ombrix_install_file(<source file> <folder in the install, "." for the top>)
#   a folder and all it holds      ombrix_install_folder(<source folder> <folder in the install>)

set(OMBRIX_INSTALL_DIR ombrix)

function(ombrix_install_target target)
  install(TARGETS ${target}
    RUNTIME DESTINATION ${OMBRIX_INSTALL_DIR}
    LIBRARY DESTINATION ${OMBRIX_INSTALL_DIR})
endfunction()

function(ombrix_install_file source folder)
  install(FILES ${CMAKE_SOURCE_DIR}/${source} DESTINATION ${OMBRIX_INSTALL_DIR}/${folder})
endfunction()

function(ombrix_install_folder source folder)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${source}/ DESTINATION ${OMBRIX_INSTALL_DIR}/${folder}
    PATTERN ".gitkeep" EXCLUDE)
endfunction()

# Programs.
ombrix_install_target(OBHostStarter)        # OBHost.exe
ombrix_install_target(OBHost)               # OBHost.exe.bin, what OBHost.exe becomes
ombrix_install_target(ob_daemon)            # OBDaemon.exe
ombrix_install_target(ob_bugreporter_exe)   # OBBugreporter.exe
ombrix_install_target(ob_launcher_exe)      # Ombrix.exe
ombrix_install_target(ob_uninstaller_exe)   # OBUninstall.exe
if(TARGET ombrix_webview)
  ombrix_install_target(ombrix_webview)     # ombrix-webview.so, the web view the programs load when they show a page
endif()

# The outside components; our stand-ins ship in their place.
ombrix_install_target(OBVerCustom)          # OBVerCustom.dll
ombrix_install_file(standin/edition/OBVerCustom.ini .)
ombrix_install_target(OBDaemonHook)         # OBDaemon.dll
ombrix_install_target(OBUpdateAplldr)       # OBUpdateAplldr.exe

# Default files and skins.
ombrix_install_file(uninstaller/program/OBUninstall.xml .)
foreach(id 100 101 102)
  ombrix_install_file(launcher/program/icons/tray${id}.png .)
endforeach()
foreach(id 156 157 158)
  ombrix_install_file(client/host/program/icons/OBHost${id}.png .)
endforeach()
ombrix_install_file(client/host/games/other.xml games)
ombrix_install_folder(client/ui/html html)    # the local pages of the main window and the user card
ombrix_install_folder(client/ui/avatar/OBPaint OBPaint)  # the avatar editor page, OBPaint/<game id>
ombrix_install_folder(skins OBSkin)         # skins/<game id> becomes OBSkin/<game id>
