# `cmake --install` puts the programs and the control library in place, registers the library in
# the installing user's registration store (the installed program has no manifest beside it and
# finds the control there), and adds a desktop entry so the panel shows in the application menu.
foreach(program Karvel karvel-scalesim lumeq-register lumeq-preview)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET Lumeq)
    install(TARGETS Lumeq LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
    install(CODE "
        set(lib \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:Lumeq>\")
        if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
            message(STATUS \"Registering \${lib}\")
            execute_process(COMMAND \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lumeq-register\" \"\${lib}\"
                            RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR \"Registering \${lib} failed\")
            endif()
        else()
            message(STATUS \"Staged install: run lumeq-register \${lib} on the target machine\")
        endif()
    ")
endif()

set(desktop ${PROJECT_SOURCE_DIR}/app/res/karvel.desktop)
set(icon ${PROJECT_SOURCE_DIR}/app/res/icons/karvel.png)
if(EXISTS ${desktop})
    install(FILES ${desktop} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
if(EXISTS ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
endif()
