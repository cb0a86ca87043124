# What `make package` builds, into build/package/ (CPack, one generator per build):
#   the native build: quillon-sfx_VERSION_ARCH.deb, with sfxtool (the extractor inside), its
#     manual page and bash completion, the web page (/usr/share/quillon-sfx/quillon.html, which
#     the manual page and sfxtool --help name), the README and the licence;
#   the cross build: quillon-sfx-VERSION-win32.zip, with the five Windows binaries side by side,
#     a README.txt and the licence as LICENSE.txt (both with Windows line ends, for Notepad),
#     and the web page when the web build has made it.
# Run as `cpack --config CPackConfig.cmake` in each build folder, once the build is done, with
# SOURCE_DATE_EPOCH set (`make package` takes the commit's time): the files in both packages then
# carry that time, so the same commit packs to the same bytes.

set(CPACK_PACKAGE_NAME quillon-sfx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon SFX developers")
set(CPACK_PACKAGE_CONTACT "Quillon SFX developers <developers@quillon-sfx.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "makes and opens encrypted and self-extracting archives (AES-256-CBC)")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/build/package)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # Packing takes the installed programs only, so it need not build the test programs first:
    # where the Windows suite runs on the x86-64 build, `make test` builds no 32-bit tests.
    set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
    # Executables have no import library to leave out; the libraries' go nowhere.
    install(TARGETS sfxstub sfxtool pluginhost RUNTIME DESTINATION .)
    install(TARGETS sfxbuild hwtok32 RUNTIME DESTINATION . ARCHIVE DESTINATION lib
            EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/build/web/quillon.html DESTINATION . OPTIONAL)
    # The MIT licence asks for its notice in every copy.
    set(zip_texts ${PROJECT_BINARY_DIR}/zip-texts)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${zip_texts}/README.txt @ONLY
                   NEWLINE_STYLE CRLF)
    configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${zip_texts}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${zip_texts}/README.txt ${zip_texts}/LICENSE.txt DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME quillon-sfx-${PROJECT_VERSION}-win32)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/SortedZip.cmake)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT deb_arch)
        set(deb_arch amd64)
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
    set(CPACK_DEBIAN_FILE_NAME quillon-sfx_${PROJECT_VERSION}_${deb_arch}.deb)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillon-sfx.invalid/")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The first line of the package's description is the summary above; this is the rest, in
    # lines that fit an 80-column terminal with the space dpkg puts in front.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "sfxtool makes password-protected archives: self-extracting Windows\n"
        "programs that unpack themselves when the recipient runs them, and plain\n"
        "encrypted archives (.tvf). It opens, lists and tests both on any system.\n"
        "A web page that opens and makes the same archives in a browser comes\n"
        "with it.")
    string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
    set(doc share/doc/quillon-sfx)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${doc})
    # The page is made by the web build, which `make package` runs first. It is not optional:
    # the manual page and the help promise it, so a package without it is not made.
    install(FILES ${PROJECT_SOURCE_DIR}/build/web/quillon.html DESTINATION share/quillon-sfx)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc} RENAME copyright)
    # Debian wants every package to say what changed, as changelog.gz for a package whose version
    # has no Debian revision. The top entry must be this version's.
    set(changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
    file(STRINGS ${changelog} top LIMIT_COUNT 1)
    if(NOT top MATCHES "^quillon-sfx \\(${PROJECT_VERSION}\\) ")
        message(FATAL_ERROR "packaging/changelog starts with \"${top}\": give version "
                            "${PROJECT_VERSION} its entry first")
    endif()
    set(changelog_gz ${PROJECT_BINARY_DIR}/changelog.gz)
    add_custom_command(
        OUTPUT ${changelog_gz}
        COMMAND gzip -9 -n -c ${changelog} > ${changelog_gz}
        DEPENDS ${changelog}
        COMMENT "Compressing the package's changelog"
        VERBATIM)
    add_custom_target(package_changelog ALL DEPENDS ${changelog_gz})
    install(FILES ${changelog_gz} DESTINATION ${doc})
endif()

include(CPack)
