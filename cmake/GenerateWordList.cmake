# Turns the password meter's word list (one word a line, in stored order) into a C++ table of
# fixed 7-byte slots. Runs at build time on the build machine, also when cross-compiling:
#   cmake -DINPUT=wordlist-4k.txt -DOUTPUT=word_list_table.cpp -P GenerateWordList.cmake
# A list that is not the one the meter was made for (wrong count, wrong ends, a word that does
# not fit a slot, out of order) stops the build here rather than weakening the check unnoticed.

if(NOT INPUT OR NOT OUTPUT)
    message(FATAL_ERROR "GenerateWordList.cmake needs -DINPUT=... and -DOUTPUT=...")
endif()

set(expected_count 4096)
set(expected_first Adam)
set(expected_last zone)

file(READ "${INPUT}" content)
string(REPLACE "\r\n" "\n" content "${content}")
string(REGEX REPLACE "\n$" "" content "${content}")
if(content MATCHES ";")
    message(FATAL_ERROR "${INPUT}: a word list holds letters only")
endif()
string(REPLACE "\n" ";" words "${content}")

list(LENGTH words count)
if(NOT count EQUAL expected_count)
    message(FATAL_ERROR "${INPUT}: ${count} words, expected ${expected_count}")
endif()
list(GET words 0 first)
list(GET words -1 last)
if(NOT first STREQUAL expected_first OR NOT last STREQUAL expected_last)
    message(FATAL_ERROR
        "${INPUT}: runs from '${first}' to '${last}', expected '${expected_first}' to "
        "'${expected_last}'")
endif()

set(body "")
set(line "   ")
set(previous "")
set(index 0)
foreach(word IN LISTS words)
    # Three to six ASCII letters: they fit a slot and need no escaping in a string literal.
    if(NOT word MATCHES "^[A-Za-z][A-Za-z][A-Za-z][A-Za-z]?[A-Za-z]?[A-Za-z]?$")
        message(FATAL_ERROR "${INPUT}: word ${index} '${word}' is not three to six letters")
    endif()
    if(index GREATER 0 AND NOT previous STRLESS word)
        message(FATAL_ERROR "${INPUT}: '${word}' is out of order after '${previous}'")
    endif()
    set(previous "${word}")
    string(APPEND line " \"${word}\",")
    math(EXPR index "${index} + 1")
    math(EXPR column "${index} % 10")
    if(column EQUAL 0)
        string(APPEND body "${line}\n")
        set(line "   ")
    endif()
endforeach()
if(NOT line STREQUAL "   ")
    string(APPEND body "${line}\n")
endif()

file(WRITE "${OUTPUT}"
"// Generated at build time from common/crypto/wordlist-4k.txt by cmake/GenerateWordList.cmake.
// Do not edit: change the list and rebuild.
#include \"common/crypto/word_list.h\"

const WordList kWordList = {{
${body}}};
")
