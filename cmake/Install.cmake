# `cmake --install` lays out a relocatable tree that works for every user without registering
# anything: the programs in bin/, the control library in the project's private folder, and
# beside each host program a manifest whose library path is relative to bin/, so the tree runs
# wherever it is unpacked. The package script (scripts/package.sh) builds on this tree.
set(KARVEL_INSTALL_PKGLIBDIR "lib/karvel" CACHE STRING
    "Private folder of the control library, relative to the install prefix")

foreach(program Karvel karvel-scalesim lumeq-register lumeq-preview)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET Lumeq)
    install(TARGETS Lumeq LIBRARY DESTINATION ${KARVEL_INSTALL_PKGLIBDIR})
    file(RELATIVE_PATH library_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}"
         "/prefix/${KARVEL_INSTALL_PKGLIBDIR}/$<TARGET_FILE_NAME:Lumeq>")
    foreach(program Karvel lumeq-preview)
        if(TARGET ${program})
            set(manifest ${CMAKE_BINARY_DIR}/install/${program}.manifest)
            file(GENERATE OUTPUT ${manifest} CONTENT
                "# Classes this program uses and the libraries that serve them.\nclass ${KARVEL_LUMEQ_CLSID} ${library_from_bin}\n")
            install(FILES ${manifest} DESTINATION ${CMAKE_INSTALL_BINDIR})
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
