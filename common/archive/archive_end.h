// Whether a file could be an archive at all, judged from its end and without a password, so
// that a file that plainly is none (a text, most programs, a document) is called so, where the
// reader would take it for an archive whose password is wrong.
//
// Under any key but the right one an archive's trailer deciphers to noise, and so does the end
// of any other file: the reader cannot tell them apart, and calls both a wrong password. The
// bytes as they stand can be told apart, soundly, in these cases:
//  - The file is no larger than the smallest archive (kSmallestImage).
//  - Its end is neither a keyed archive's nor a keyless one's. A keyed archive ends in
//    ciphertext: its info block's last block and the trailer, 48 bytes or more that cannot be
//    told from random bytes. 48 random bytes are all text (printable ASCII, whole UTF-8
//    characters, tabs and line ends) with a chance below 1e-16, and hold 8 or more zero bytes
//    with a chance below 1e-10; a text file's end is all text, and a program's, a UTF-16
//    text's or an office document's is full of zero bytes. A keyless archive ends in its
//    trailer in the clear, recognised by its zero reserved byte 3 and check value and its
//    paddings below 16 (damaged or not: damage is the reader's to report).
// Every end the reader tries is judged (a signed image may end in up to seven zero bytes of
// padding before its signature), and a file is no archive only when none of them could be one.
// Anything else, such as a compressed file whose end looks like ciphertext, may be an archive
// under another password and is left to the reader.
#pragma once

#include "common/support/file_io.h"

enum class ArchiveEnd {
    kPossible,  // could be an archive (or could not be read: the reader says why)
    kTooSmall,  // no larger than the smallest archive
    kText,      // ends in text
    kOther,     // ends in what neither kind of archive ends in
};

// Judges the end of `image`; moves its file pointer.
ArchiveEnd judgeArchiveEnd(File& image);
