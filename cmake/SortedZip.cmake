# Run by CPack after it has made the Windows zip (CPACK_POST_BUILD_SCRIPTS): writes the zip again
# with its entries in name order. CPack adds them in the order the file system lists the folder
# it packs, which differs between machines and file systems; in name order, and with the time
# from SOURCE_DATE_EPOCH that CMake's archiver gives every entry, the same files always make the
# same zip.
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    if(NOT zip MATCHES "\\.zip$")
        continue()
    endif()
    file(GLOB_RECURSE names LIST_DIRECTORIES false RELATIVE ${CPACK_TEMPORARY_DIRECTORY}
         ${CPACK_TEMPORARY_DIRECTORY}/*)
    list(SORT names)
    file(REMOVE ${zip})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${names}
                    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "could not write ${zip} again in name order: ${status}")
    endif()
endforeach()
