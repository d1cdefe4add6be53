# `cmake --install` lays out a relocatable tree that works for every user without registering
# anything: the programs in bin/, and in the project's private folder the control library and,
# for each host program, a manifest that names the library beside it. A program finds its
# manifest from its own folder (bin/../lib/karvel), so the tree runs wherever it is unpacked.
# The package script (scripts/package.sh) builds on this tree.
set(KARVEL_INSTALL_PKGLIBDIR "lib/karvel" CACHE STRING
    "Private folder of the control library, relative to the install prefix")
# The programs' manifests are looked for here too, relative to the programs' folder.
file(RELATIVE_PATH private_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}"
     "/prefix/${KARVEL_INSTALL_PKGLIBDIR}")
target_compile_definitions(component PRIVATE
    KARVEL_PRIVATE_DIR_FROM_PROGRAMS="${private_from_bin}")

foreach(program Karvel karvel-read karvel-scalesim lumeq-register lumeq-preview)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET Lumeq)
    install(TARGETS Lumeq LIBRARY DESTINATION ${KARVEL_INSTALL_PKGLIBDIR})
    foreach(program Karvel lumeq-preview)
        if(TARGET ${program})
            set(manifest ${CMAKE_BINARY_DIR}/install/${program}.manifest)
            file(GENERATE OUTPUT ${manifest} CONTENT
                "# Classes this program uses and the libraries that serve them.\nclass ${KARVEL_LUMEQ_CLSID} $<TARGET_FILE_NAME:Lumeq>\n")
            install(FILES ${manifest} DESTINATION ${KARVEL_INSTALL_PKGLIBDIR})
        endif()
    endforeach()
endif()

set(res ${PROJECT_SOURCE_DIR}/app/res)
install(FILES ${res}/${KARVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${res}/${KARVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128 256)
    install(FILES ${res}/icons/karvel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${KARVEL_APP_ID}.png)
endforeach()
install(FILES ${res}/icons/karvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KARVEL_APP_ID}.svg)
file(GLOB manual_pages ${PROJECT_SOURCE_DIR}/docs/man/*.1)
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/karvel)

# karvel-read as a service per scale: the template unit and the settings every unit reads. The
# units' password file is made by the package's postinst, readable by root only.
if(TARGET karvel-read)
    set(read_dist ${PROJECT_SOURCE_DIR}/read/dist)
    install(FILES ${read_dist}/karvel-read@.service DESTINATION lib/systemd/system)
    install(FILES ${read_dist}/read.env DESTINATION ${CMAKE_INSTALL_SYSCONFDIR}/karvel)
endif()

# The virtual keyboard's device for a group of its own, empty until an administrator fills it;
# the package's postinst makes the group.
if(TARGET karvel_wedge)
    install(FILES ${PROJECT_SOURCE_DIR}/wedge/dist/70-karvel-typing.rules DESTINATION lib/udev/rules.d)
endif()
