# Writes one of the documents sfxtool makes from its option table (`sfxtool --dump-options
# DOCUMENT`: man or bash) into a file, gzipped with GZIP set (as manual pages are installed).
# Runs at build time:
#   cmake -DTOOL=sfxtool -DDOCUMENT=man -DOUTPUT=sfxtool.1.gz -DGZIP=ON -P WriteOptionDocument.cmake
if(NOT TOOL OR NOT DOCUMENT OR NOT OUTPUT)
    message(FATAL_ERROR "WriteOptionDocument.cmake needs -DTOOL=, -DDOCUMENT= and -DOUTPUT=")
endif()
set(plain ${OUTPUT})
if(GZIP)
    string(REGEX REPLACE "\\.gz$" "" plain ${OUTPUT})
endif()
execute_process(COMMAND ${TOOL} --dump-options ${DOCUMENT} OUTPUT_FILE ${plain} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} --dump-options ${DOCUMENT} failed: ${status}")
endif()
if(GZIP)
    # -n: no name or time stamp inside, so the same page gives the same bytes.
    execute_process(COMMAND gzip -9 -n -c ${plain} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip ${plain} failed: ${status}")
    endif()
endif()
