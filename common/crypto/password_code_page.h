// Whether a typed password survives the ANSI code page. The classic key is made from the
// password's bytes in that code page, where a character it cannot hold becomes '?': such a
// password would make an archive that also opens under the same text with question marks in
// place of those characters, and on a computer with another code page not under what was typed.
// Writers refuse it; readers still accept it, to open what older writers made.
#pragma once

// True when every character of the zero-terminated password converts to the code page (best-fit
// mapping off, as the key derivation converts) and back unchanged. A null or empty password fits.
// Its length is the caller's to judge.
bool passwordFitsCodePage(const char16_t* password);
