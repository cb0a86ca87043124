# What `make package` builds, into build/package/ (CPack, one generator per build):
#   the native build: quillon-sfx_VERSION_ARCH.deb, with sfxtool (the extractor inside), its
#     manual page and bash completion, the web page (/usr/share/quillon-sfx/quillon.html, which
#     the manual page and sfxtool --help name), the README and the licence;
#   the cross build: quillon-sfx-VERSION-win32.zip, with the five Windows binaries side by side,
#     and the web page when the web build has made it.
# Run as `cpack --config CPackConfig.cmake` in each build folder, once the build is done.

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
    # Executables have no import library to leave out; the libraries' go nowhere.
    install(TARGETS sfxstub sfxtool pluginhost RUNTIME DESTINATION .)
    install(TARGETS sfxbuild hwtok32 RUNTIME DESTINATION . ARCHIVE DESTINATION lib
            EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/build/web/quillon.html DESTINATION . OPTIONAL)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME quillon-sfx-${PROJECT_VERSION}-win32)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
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
    # The first line of the package's description is the summary above; this is the rest.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "sfxtool makes password-protected archives: self-extracting Windows programs that\n"
        "unpack themselves when the recipient runs them, and plain encrypted archives (.tvf).\n"
        "It opens, lists and tests both on any system. A web page that opens and makes\n"
        "the same archives in a browser comes with it.")
    string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
    set(doc share/doc/quillon-sfx)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${doc})
    # The page is made by the web build, which `make package` runs first. It is not optional:
    # the manual page and the help promise it, so a package without it is not made.
    install(FILES ${PROJECT_SOURCE_DIR}/build/web/quillon.html DESTINATION share/quillon-sfx)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc} RENAME copyright)
endif()

include(CPack)
