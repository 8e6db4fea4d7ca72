# Installs the build into a scratch prefix and checks that both programs, their icons and
# their desktop entries land where desktops look for them, and that the entries name them.
# cmake -DBINARY_DIR=... -DPREFIX=... -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(status)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(program quilloc quillo)
    foreach(file bin/${program} share/icons/hicolor/32x32/apps/${program}.png
                 share/applications/${program}.desktop)
        if(NOT EXISTS ${PREFIX}/${file})
            message(FATAL_ERROR "not installed: ${file}")
        endif()
    endforeach()
    file(STRINGS ${PREFIX}/share/applications/${program}.desktop entry)
    foreach(line "[Desktop Entry]" "Type=Application" "Exec=${program} %F" "Icon=${program}")
        list(FIND entry "${line}" found)
        if(found EQUAL -1)
            message(FATAL_ERROR "${program}.desktop lacks \"${line}\"")
        endif()
    endforeach()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
