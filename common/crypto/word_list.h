// The 4096 common words that a short password may not lean on, in their stored order
// (ascending bytes, so the capitalised names come first: "Adam" ... "zone"), each in a fixed
// slot of at most six letters and a zero. The table is read-only data generated at build time
// from wordlist-4k.txt beside this file (see cmake/GenerateWordList.cmake), which checks the
// list before it writes a byte.
#pragma once

struct WordList {
    static constexpr int kCount = 4096;
    static constexpr int kSlot = 7;  // six letters and the terminator; shorter words zero-padded
    char words[kCount][kSlot];
};

extern const WordList kWordList;
