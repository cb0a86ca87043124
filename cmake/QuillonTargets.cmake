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
    if(QUILLON_SANITIZE)
        target_compile_options(${name} PRIVATE ${QUILLON_SANITIZER_FLAGS})
        target_link_options(${name} PRIVATE ${QUILLON_SANITIZER_FLAGS})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()

# Resource scripts that include the string table: the resource compiler reports no header
# dependencies, so name them here, or a changed text would leave old resources in place.
set(QUILLON_STRING_TABLE_FILES
    ${PROJECT_SOURCE_DIR}/common/support/string_table.def
    ${PROJECT_SOURCE_DIR}/common/support/string_table.rc)
function(quillon_uses_string_table)
    set_source_files_properties(${ARGN} PROPERTIES OBJECT_DEPENDS "${QUILLON_STRING_TABLE_FILES}")
endfunction()
