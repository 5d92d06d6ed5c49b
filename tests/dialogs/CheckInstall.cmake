# Installs the build into a scratch prefix and checks what a desktop needs of it: the
# program, its menu entry starting it through polkit, its icon in both sizes, the manual.
# cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(path bin/marrowick lib/marrowick/marrowick-dialogs.so
             share/icons/hicolor/16x16/apps/marrowick.png
             share/icons/hicolor/32x32/apps/marrowick.png libexec/marrowick-settings
             share/polkit-1/actions/org.marrowick.settings.policy
             share/dbus-1/system-services/org.marrowick.Settings1.service
             share/dbus-1/system.d/org.marrowick.Settings1.conf
             lib/systemd/system/marrowick-settings.service
             share/metainfo/org.marrowick.marrowick.metainfo.xml
             share/man/man1/marrowick.1 share/man/de/man1/marrowick.1)
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()

set(entry ${PREFIX}/share/applications/marrowick.desktop)
file(STRINGS ${entry} lines)
foreach(expected "Name=Marrowick" "Categories=Settings;" "Exec=marrowick" "Icon=marrowick")
    list(FIND lines "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${entry} lacks the line ${expected}")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
