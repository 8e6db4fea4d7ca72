# The zip for Windows (make windows): both programs, a short README.txt and the licence,
# as build-windows/quill-VERSION-windows-x64.zip. Included from the top-level
# CMakeLists.txt when building for Windows.
find_program(QUILL_ZIP zip REQUIRED)
set(quill_zip_name quill-${PROJECT_VERSION}-windows-x64)
set(quill_zip ${PROJECT_BINARY_DIR}/${quill_zip_name}.zip)
set(quill_zip_stage ${PROJECT_BINARY_DIR}/zip/${quill_zip_name})
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${PROJECT_BINARY_DIR}/zip/README.txt @ONLY)
# Notepad of old shows a text file's lines only with CR LF.
add_custom_command(OUTPUT ${quill_zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${quill_zip_stage} ${quill_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${quill_zip_stage}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vornik2html> $<TARGET_FILE:pnginspect>
            ${quill_zip_stage}
    COMMAND ${CMAKE_COMMAND} -Din=${PROJECT_BINARY_DIR}/zip/README.txt
            -Dout=${quill_zip_stage}/README.txt -P ${CMAKE_CURRENT_LIST_DIR}/CrLf.cmake
    COMMAND ${CMAKE_COMMAND} -Din=${PROJECT_SOURCE_DIR}/LICENSE -Dout=${quill_zip_stage}/LICENSE
            -P ${CMAKE_CURRENT_LIST_DIR}/CrLf.cmake
    COMMAND ${QUILL_ZIP} -q -X -9 -r ${quill_zip} ${quill_zip_name}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/zip
    DEPENDS vornik2html pnginspect ${PROJECT_BINARY_DIR}/zip/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
    VERBATIM)
add_custom_target(windows_zip ALL DEPENDS ${quill_zip})
