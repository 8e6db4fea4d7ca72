# The Debian package (`make package`): what it holds beyond the programs (man pages, the
# Vornik file type, the software centres' metainfo, copyright and changelog) and how CPack
# builds it.
# Included from the top-level CMakeLists.txt after the programs' own install rules.

set(QUILL_PACKAGE_NAME quill)
set(QUILL_PACKAGE_MAINTAINER "Quill developers <quill-dev@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(QUILL_PROJECT_URL "https://quill.example.org/"
    CACHE STRING "The project's web address, ending in /: homepage and screenshots of the metainfo")
set(quill_doc_dir share/doc/${QUILL_PACKAGE_NAME})
set(quill_pack_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${quill_pack_dir})

# A package's man pages and changelog are compressed the same way each build (-n: no name
# or time stamp inside).
find_program(QUILL_GZIP gzip REQUIRED)
function(quill_gzip_copy source target)
    add_custom_command(OUTPUT ${quill_pack_dir}/${target}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${quill_pack_dir}/${target}
        COMMAND ${QUILL_GZIP} -n9 -f ${quill_pack_dir}/${target}
        DEPENDS ${source}
        VERBATIM)
endfunction()

# The command-line tools' man pages are made from their own --help, so they cannot drift
# from the programs; the windows' pages are written by hand.
find_program(QUILL_HELP2MAN help2man)
set(quill_man_pages)
if(QUILL_HELP2MAN)
    set(quill_man_names
        "vornik2html=convert Vornik documents into web pages"
        "pnginspect=print what a PNG reader finds in PNG files")
    foreach(entry ${quill_man_names})
        string(REGEX MATCH "^[^=]+" tool "${entry}")
        string(REGEX REPLACE "^[^=]+=" "" name "${entry}")
        set(page ${quill_pack_dir}/${tool}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${QUILL_HELP2MAN} --no-info --name=${name}
                    --version-string=${PROJECT_VERSION} --output=${page} $<TARGET_FILE:${tool}>
            COMMAND ${QUILL_GZIP} -n9 -f ${page}
            DEPENDS ${tool}
            COMMENT "Man page for ${tool}"
            VERBATIM)
        list(APPEND quill_man_pages ${page}.gz)
    endforeach()
else()
    # Only the package needs them; `make package` installs help2man first.
    message(STATUS "help2man not found: no man pages for the tools (scripts/install-deps test)")
endif()
if(QUILL_BUILD_APPS)
    foreach(program quilloc quillo)
        quill_gzip_copy(${CMAKE_CURRENT_LIST_DIR}/${program}.1 ${program}.1)
        list(APPEND quill_man_pages ${quill_pack_dir}/${program}.1.gz)
    endforeach()
endif()
quill_gzip_copy(${CMAKE_CURRENT_LIST_DIR}/changelog changelog)
add_custom_target(package_docs ALL DEPENDS ${quill_man_pages} ${quill_pack_dir}/changelog.gz)
install(FILES ${quill_man_pages} DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${quill_pack_dir}/changelog.gz
        DESTINATION ${quill_doc_dir})

# The file type lets file managers offer quilloc and quillo (their desktop entries name it).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vornik-document.xml DESTINATION share/mime/packages
        RENAME ${QUILL_PACKAGE_NAME}.xml)

# What software centres list: one component per program, released on the date of the
# changelog's first entry.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog quill_signature REGEX "^ -- " LIMIT_COUNT 1)
set(quill_month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" quill_date
       "${quill_signature}")
set(quill_day ${CMAKE_MATCH_1})
set(quill_year ${CMAKE_MATCH_3})
list(FIND quill_month_names "${CMAKE_MATCH_2}" quill_month)
math(EXPR quill_month "${quill_month} + 1")
if(quill_month LESS 10)
    set(quill_month 0${quill_month})
endif()
set(quill_release_date "${quill_year}-${quill_month}-${quill_day}")
if(QUILL_BUILD_APPS)
    set(quill_summary_quilloc "Convert Vornik documents into web pages")
    set(quill_summary_ru_quilloc "Преобразование документов Vornik в веб-страницы")
    set(quill_description_quilloc
        "quilloc writes coloured text on a dark page, or bold, italic and underline on a light one, as the window's \"use colors\" says.")
    set(quill_summary_quillo "Convert Vornik documents into coloured web pages")
    set(quill_summary_ru_quillo "Преобразование документов Vornik в цветные веб-страницы")
    set(quill_description_quillo
        "quillo always writes coloured text on a dark page.")
    foreach(program quilloc quillo)
        set(quill_component org.example.quill.${program})
        set(quill_summary "${quill_summary_${program}}")
        set(quill_summary_ru "${quill_summary_ru_${program}}")
        set(quill_description "${quill_description_${program}}")
        configure_file(${CMAKE_CURRENT_LIST_DIR}/metainfo.xml.in
                       ${quill_pack_dir}/${quill_component}.metainfo.xml @ONLY)
        install(FILES ${quill_pack_dir}/${quill_component}.metainfo.xml DESTINATION share/metainfo)
    endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QUILL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The staging tree takes the builder's umask otherwise; a package's folders are 0755.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations put its dialogs in the window's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "convert Vornik documents into web pages
Turns documents of the Vornik text editor (cp866 text with colour codes and
embedded pictures, files named NAME.$x) into web pages: one HTML page plus one
PNG or BMP file per distinct picture.

The package holds two small desktop programs, quilloc (colour spans or bold,
italic and underline markup) and quillo (always colour spans), the
command-line converter vornik2html for batch work, and pnginspect, which
prints what the program's own PNG reader finds in PNG files.")
include(CPack)

# Building and checking the package takes a while, so it is a test of its own label; the
# sanitizer build would only package instrumented programs.
if(QUILL_BUILD_TESTS AND QUILL_BUILD_APPS AND NOT QUILL_SANITIZE)
    add_test(NAME package
             COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${PROJECT_BINARY_DIR}
                     -DWORK=${quill_pack_dir}/check -DVERSION=${PROJECT_VERSION}
                     -P ${CMAKE_CURRENT_LIST_DIR}/CheckPackage.cmake)
    set_tests_properties(package PROPERTIES LABELS package TIMEOUT 600)
endif()
