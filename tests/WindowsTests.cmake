# The headless suites built for Windows with MinGW and run under Wine (make test-windows,
# scripts/test-windows): GoogleTest from Debian's sources, and no libpng, Qt, Chromium or
# other programs beside the tests. The command-line tests run the Windows programs from
# the Linux build's quill_tests instead, which has the shell they are written in.
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(quilltestsupport STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/TestSupport.cpp)
target_link_libraries(quilltestsupport PUBLIC quillcore)
target_include_directories(quilltestsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(quilltestsupport PUBLIC
    QUILL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUILL_BINARY_DIR="${PROJECT_BINARY_DIR}"
    QUILL_NODE_DIR="${PROJECT_BINARY_DIR}/node")

file(GLOB QUILL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
# What needs libpng, pngcheck, fork, a browser or the tools run through a shell.
list(FILTER QUILL_TEST_SOURCES EXCLUDE REGEX
    "/(.*_qt|browser|compact_png|conversion_run_faults|html_checker|pictures_files|png_reader|png_reader_limits|png_reader_suite|png_writer|pnginspect|vornik2html)_test\\.cpp$")
add_executable(quill_tests ${QUILL_TEST_SOURCES})
target_link_libraries(quill_tests PRIVATE quilltestsupport quillentry gtest_main gmock)
