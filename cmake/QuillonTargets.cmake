# Helpers that keep the per-folder build files short.
#
# quillon_library(name SOURCES ... [DEPS ...]) makes a static library. In a sanitized build it
# also makes name_checked, the same sources built with AddressSanitizer and UBSan, which the tests
# link; otherwise name_checked is just another name for name. The shipped programs and the
# benchmarks link the plain library.

set(QUILLON_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)

function(quillon_library name)
    cmake_parse_arguments(Q "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${Q_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${Q_DEPS})
    if(QUILLON_SANITIZE)
        set(checked_deps)
        foreach(dep IN LISTS Q_DEPS)
            list(APPEND checked_deps ${dep}_checked)
        endforeach()
        add_library(${name}_checked STATIC ${Q_SOURCES})
        target_include_directories(${name}_checked PUBLIC ${PROJECT_SOURCE_DIR})
        target_compile_options(${name}_checked PRIVATE ${QUILLON_SANITIZER_FLAGS})
        target_link_options(${name}_checked INTERFACE ${QUILLON_SANITIZER_FLAGS})
        target_link_libraries(${name}_checked PUBLIC ${checked_deps})
    else()
        add_library(${name}_checked ALIAS ${name})
    endif()
endfunction()

# quillon_test(name SOURCES ... DEPS ...) makes a GoogleTest program and registers it with ctest
# (under Wine for the win32 preset, through the cross-compiling emulator).
function(quillon_test name)
    cmake_parse_arguments(Q "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${Q_SOURCES})
    set(checked_deps)
    foreach(dep IN LISTS Q_DEPS)
        list(APPEND checked_deps ${dep}_checked)
    endforeach()
    target_link_libraries(${name} PRIVATE ${checked_deps} GTest::gtest_main)
    # A test program's own code only drives the engine, which keeps the optimised build it ships
    # with: unoptimised, the test sources (GoogleTest's templates, with the sanitizers) compile
    # about three times faster, and they are most of what the test builds compile.
    target_compile_options(${name} PRIVATE -O0)
    if(QUILLON_SANITIZE)
        target_compile_options(${name} PRIVATE ${QUILLON_SANITIZER_FLAGS})
        target_link_options(${name} PRIVATE ${QUILLON_SANITIZER_FLAGS})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()

# quillon_skipped_test(name reason) stands in for a test that only makes sense in the 32-bit
# build (calling conventions, 32-bit sizes) when building for x86-64: ctest lists it as skipped,
# and its output carries the reason after the marker "i686 only:", which scripts/run-tests shows.
function(quillon_skipped_test name reason)
    add_test(NAME ${name} COMMAND sh -c "echo \"i686 only: $0\"; exit 77" "${name}: ${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

# Resource scripts that include the string table: the resource compiler reports no header
# dependencies, so name them here, or a changed text would leave old resources in place.
set(QUILLON_STRING_TABLE_FILES
    ${PROJECT_SOURCE_DIR}/common/support/string_table.def
    ${PROJECT_SOURCE_DIR}/common/support/string_table.rc)
function(quillon_uses_string_table)
    set_property(SOURCE ${ARGN} APPEND PROPERTY OBJECT_DEPENDS ${QUILLON_STRING_TABLE_FILES})
endfunction()

# What the shipped Windows code is compiled with: no exception support, which it never uses, and
# no unwinding tables, for size (the extractor travels with every archive).
set(QUILLON_SHIPPED_FLAGS -fno-exceptions -fno-asynchronous-unwind-tables -Os)

# quillon_shipped_binary(target) makes a shipped Windows program or library small: the flags
# above, the lean runtime in place of the compiler's, and unused code dropped and symbols
# stripped at link time.
function(quillon_shipped_binary target)
    target_compile_options(${target} PRIVATE ${QUILLON_SHIPPED_FLAGS})
    target_link_libraries(${target} PRIVATE quillon_lean_runtime)
    target_link_options(${target} PRIVATE -Wl,--gc-sections -s)
endfunction()

# quillon_embed_binary(target rc_script from_target file_name) lets `rc_script` of `target` name
# the built `from_target` as "file_name": the build copies it into embedded/ of this build
# folder, where the resource compiler finds it by name, and recompiles the script whenever it
# changes, so the embedded bytes are always the current ones.
function(quillon_embed_binary target rc_script from_target file_name)
    set(embedded ${CMAKE_CURRENT_BINARY_DIR}/embedded)
    add_custom_command(
        OUTPUT ${embedded}/${file_name}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${from_target}> ${embedded}/${file_name}
        DEPENDS ${from_target} $<TARGET_FILE:${from_target}>
        COMMENT "Embedding ${file_name} in ${target}"
        VERBATIM)
    target_include_directories(${target} PRIVATE ${embedded})
    set_property(SOURCE ${rc_script} APPEND PROPERTY OBJECT_DEPENDS ${embedded}/${file_name})
endfunction()

# quillon_manifest(target rc_script file_name IDENTITY name [COMMON_CONTROLS])
# writes the application manifest of a Windows program from the one template (DPI awareness,
# the supported systems, no elevation, the product's version) as generated/file_name, where
# `rc_script` finds it by name. COMMON_CONTROLS adds the dependency on version 6 of the common
# controls.
#
# DPI: per-monitor aware, v2 where the system has it, else v1 (dpiAwareness, read by Windows 10
# and later); systems before read dpiAware, where "true/pm" asks for per-monitor awareness on 8.1
# and system-wide awareness on Vista to 8. Supported systems: Vista, 7, 8, 8.1, and 10 and 11.
function(quillon_manifest target rc_script file_name)
    cmake_parse_arguments(M "COMMON_CONTROLS" "IDENTITY" "" ${ARGN})
    set(MANIFEST_IDENTITY ${M_IDENTITY})
    # The shipped programs are 32-bit; the tests' x86-64 build must name its own architecture.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(MANIFEST_ARCHITECTURE amd64)
    else()
        set(MANIFEST_ARCHITECTURE x86)
    endif()
    set(MANIFEST_DEPENDENCY "")
    if(M_COMMON_CONTROLS)
        string(CONCAT MANIFEST_DEPENDENCY
               "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
               "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
               "processorArchitecture=\"${MANIFEST_ARCHITECTURE}\" "
               "publicKeyToken=\"6595b64144ccf1df\" "
               "language=\"*\"/></dependentAssembly></dependency>")
    endif()
    # Every byte of the extractor's manifest travels with every archive: the layout whitespace
    # of the template is left out.
    set(template ${PROJECT_SOURCE_DIR}/cmake/application.manifest.in)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template})
    file(READ ${template} manifest)
    string(CONFIGURE "${manifest}" manifest @ONLY)
    string(REGEX REPLACE ">[ \t\r\n]+<" "><" manifest "${manifest}")
    string(STRIP "${manifest}" manifest)
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/generated)
    file(CONFIGURE OUTPUT ${generated}/${file_name} CONTENT "${manifest}")
    target_include_directories(${target} PRIVATE ${generated})
    set_property(SOURCE ${rc_script} APPEND PROPERTY OBJECT_DEPENDS ${generated}/${file_name})
endfunction()

# Resource scripts that include the version block: the version header and the block itself.
function(quillon_uses_version_block)
    set_property(SOURCE ${ARGN} APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_SOURCE_DIR}/common/support/version_info.rc
                 ${PROJECT_BINARY_DIR}/generated/quillon_version.h)
endfunction()
