# Builds the Debian package into a scratch folder and checks it as a user's system would
# get it: exactly the expected files, a version and dependencies, desktop entries and a
# file type that a file manager can use, metainfo that software centres take, man pages,
# the licence, and nothing lintian, desktop-file-validate or appstreamcli find wrong.
# cmake -DBINARY_DIR=... -DWORK=... -DVERSION=... -P CheckPackage.cmake
cmake_minimum_required(VERSION 3.25)
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(status)
        message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()
function(require text pattern what)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}:\n${text}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${WORK} --config ${BINARY_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BINARY_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(status)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${WORK}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package, cpack made: ${debs}")
endif()

# The files, folders aside: nothing missing and nothing extra (tests, benchmarks).
run(dpkg-deb -c ${debs})
set(listing "${out}")
string(REGEX MATCHALL "\\./usr/[^\n]*[^/\n]\n" files "${listing}")
list(TRANSFORM files STRIP)
list(SORT files)
set(expected
    ./usr/bin/pnginspect ./usr/bin/quillo ./usr/bin/quilloc ./usr/bin/vornik2html
    ./usr/share/applications/quillo.desktop ./usr/share/applications/quilloc.desktop
    ./usr/share/doc/quill/changelog.gz ./usr/share/doc/quill/copyright
    ./usr/share/icons/hicolor/32x32/apps/quillo.png
    ./usr/share/icons/hicolor/32x32/apps/quilloc.png
    ./usr/share/man/man1/pnginspect.1.gz ./usr/share/man/man1/quillo.1.gz
    ./usr/share/man/man1/quilloc.1.gz ./usr/share/man/man1/vornik2html.1.gz
    ./usr/share/metainfo/org.example.quill.quillo.metainfo.xml
    ./usr/share/metainfo/org.example.quill.quilloc.metainfo.xml
    ./usr/share/mime/packages/quill.xml ./usr/share/quill/translations/quill_ru.qm)
if(NOT files STREQUAL expected)
    message(FATAL_ERROR "package files:\n${listing}\nexpected: ${expected}")
endif()
string(REGEX REPLACE "(-rwxr-xr-x|-rw-r--r--|drwxr-xr-x) root/root [^\n]*\n" "" odd "${listing}")
if(NOT odd STREQUAL "")
    message(FATAL_ERROR "entries not owned by root or with unusual modes:\n${odd}")
endif()

run(dpkg-deb -f ${debs} Package Version Depends)
require("${out}" "Package: quill\nVersion: ${VERSION}\n" "name or version")
require("${out}" "Depends:.*libqt6widgets6.*" "Depends misses Qt")
require("${out}" "Depends:.*zlib1g" "Depends misses zlib")

set(root ${WORK}/root)
run(dpkg-deb -x ${debs} ${root})
file(READ ${root}/usr/share/doc/quill/copyright copyright)
require("${copyright}" "^Format: [^\n]*copyright-format/1.0/\n.*\nLicense: MIT\n Permission is hereby granted"
        "copyright is not the MIT licence in the machine-readable format")
run(gzip -dc ${root}/usr/share/doc/quill/changelog.gz)
require("${out}" "^quill \\(${VERSION}\\) " "changelog's first entry is not this version")
foreach(tool vornik2html pnginspect)
    run(gzip -dc ${root}/usr/share/man/man1/${tool}.1.gz)
    require("${out}" "\\.SH NAME\n${tool} \\\\- [a-z]" "${tool}'s man page has no name line")
    require("${out}" "\\\\-\\\\-help" "${tool}'s man page lists no options")
endforeach()
# help2man finds the synopsis and the exit status in --help only in their own forms.
run(gzip -dc ${root}/usr/share/man/man1/vornik2html.1.gz)
require("${out}" "\\.SH SYNOPSIS\n\\.B vornik2html\n" "vornik2html's man page has no synopsis")
require("${out}" "\\.SH \"EXIT STATUS\"\n" "vornik2html's man page has no exit status")
foreach(program quilloc quillo)
    file(STRINGS ${root}/usr/share/applications/${program}.desktop entry)
    foreach(line "Exec=${program} %F" "MimeType=application/x-vornik-document;")
        if(NOT line IN_LIST entry)
            message(FATAL_ERROR "${program}.desktop lacks \"${line}\"")
        endif()
    endforeach()
    # Silent means no errors, no warnings and no hints (one main category, say).
    run(desktop-file-validate ${root}/usr/share/applications/${program}.desktop)
    if(NOT out STREQUAL "")
        message(FATAL_ERROR "desktop-file-validate on ${program}.desktop:\n${out}")
    endif()
endforeach()
# Pedantic: infos fail it too. --no-net: the screenshots are not fetched.
file(GLOB metainfo ${root}/usr/share/metainfo/*.metainfo.xml)
run(appstreamcli validate --no-net --pedantic --no-color ${metainfo})
foreach(file ${metainfo})
    file(READ ${file} component)
    foreach(part "<mediatype>application/x-vornik-document</mediatype>"
                 "<project_license>MIT</project_license>" "<screenshot type=\"default\">"
                 "<launchable type=\"desktop-id\">quillo")
        string(FIND "${component}" "${part}" found)
        if(found EQUAL -1)
            message(FATAL_ERROR "${file} lacks ${part}")
        endif()
    endforeach()
endforeach()
# The file type compiles, and names documents by the "$" after the dot.
run(update-mime-database ${root}/usr/share/mime)
file(READ ${root}/usr/share/mime/globs2 globs)
require("${globs}" "application/x-vornik-document:\\*\\.\\$\\?" "no glob for Vornik documents")

# lintian refuses nothing as root, but says so on stderr; errors and warnings fail the
# check, its informational tags are shown.
execute_process(COMMAND lintian --fail-on error,warning --tag-display-limit 0 ${debs}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "lintian:\n${out}")
if(status OR out MATCHES "(^|\n)[EW]: ")
    message(FATAL_ERROR "lintian (${status}) reports errors or warnings:\n${out}${err}")
endif()
file(REMOVE_RECURSE ${WORK})
