// The rules a new password is held to before it is rated, and the codes that say which rule it
// broke. The password dialog always passes kDialogPasswordPolicy; other callers (tests, tools)
// may pass their own record.
#pragma once

#include <cstdint>

struct PasswordPolicy {
    int32_t minOneClass;      // shortest password of one character class
    int32_t minTwoClasses;    // shortest of two classes
    int32_t minPassphrase;    // shortest passphrase (two classes, enough words); also the length
                              // from which no password is tested against the word list
    int32_t minThreeClasses;  // shortest of three classes
    int32_t minFourClasses;   // shortest of four classes, and the shortest password at all
    int32_t maxLength;        // longest password, in bytes
    int32_t passphraseWords;  // words that make a passphrase; 0 turns passphrases off
    int32_t matchLength;      // shortest common run that counts in the word test; 0 turns the
                              // test off, a negative value makes every word match
    int32_t similarDeny;      // carried for the record's layout; nothing consults it
    int32_t randomBits;       // carried for the record's layout; nothing consults it
};

constexpr PasswordPolicy kDialogPasswordPolicy = {6, 6, 8, 6, 6, 64, 2, 5, 1, 66};

// What checkPassword returns for a password it rejects (the first failing rule decides); a
// password that passes gets its quality, 0 to 100, instead.
enum PasswordVerdict : int {
    kPasswordOutOfMemory = -1,  // the working copies could not be made
    kPasswordTooShort = -4,     // shorter than minFourClasses
    kPasswordTooLong = -5,      // longer than maxLength
    kPasswordSimpleShort = -6,  // simple, and shorter than minTwoClasses
    kPasswordSimple = -7,       // simple: too few different bytes for its classes and length
    kPasswordWordBased = -9,    // little more than a word of the word list
};
