# karvel_component_manifest(TARGET CLSID LIBRARY)
#
# Lists the class CLSID ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}") as served by LIBRARY in the
# manifest `<program>.manifest` that is written beside TARGET's executable, so the program
# activates the class from the build tree without registering anything. LIBRARY is a library
# target (named relative to the program's directory, and built before the program) or a path
# (absolute, or relative to the program's directory). Call once per class; every call for one
# target adds a line to the same manifest.
function(karvel_component_manifest target clsid library)
    # CMake's regular expressions have no counted repetition.
    set(h "[0-9A-Fa-f]")
    set(h4 "${h}${h}${h}${h}")
    if(NOT clsid MATCHES "^[{]${h4}${h4}-${h4}-${h4}-${h4}-${h4}${h4}${h4}[}]$")
        message(FATAL_ERROR "karvel_component_manifest: \"${clsid}\" is not a class identifier")
    endif()
    if(TARGET ${library})
        set(file "$<PATH:RELATIVE_PATH,$<TARGET_FILE:${library}>,$<TARGET_FILE_DIR:${target}>>")
        add_dependencies(${target} ${library})
    else()
        set(file "${library}")
    endif()
    set_property(TARGET ${target} APPEND PROPERTY KARVEL_MANIFEST_LINES "class ${clsid} ${file}")

    get_property(written TARGET ${target} PROPERTY KARVEL_MANIFEST_WRITTEN)
    if(NOT written)
        set_property(TARGET ${target} PROPERTY KARVEL_MANIFEST_WRITTEN TRUE)
        set(lines "$<TARGET_GENEX_EVAL:${target},$<TARGET_PROPERTY:${target},KARVEL_MANIFEST_LINES>>")
        file(GENERATE
            OUTPUT "$<TARGET_FILE:${target}>.manifest"
            CONTENT "# Classes this program uses and the libraries that serve them.\n$<JOIN:${lines},\n>\n")
    endif()
endfunction()

# The display control's class identifier, read from the header the code uses so that the
# manifests and the code cannot disagree.
file(READ "${PROJECT_SOURCE_DIR}/display/LumeqIds.h" lumeq_ids)
if(NOT lumeq_ids MATCHES "kClsidLumeqCtrl =[ \n]*component::MakeGuid\\(\"([{][-0-9A-Fa-f]+[}])\"\\)")
    message(FATAL_ERROR "display/LumeqIds.h: no class identifier for kClsidLumeqCtrl")
endif()
set(KARVEL_LUMEQ_CLSID "${CMAKE_MATCH_1}")
unset(lumeq_ids)
