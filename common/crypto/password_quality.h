// The password meter: a policy check that turns away short, over-long, repetitive and
// dictionary-based passwords, then a 0 to 100 estimate of the bit strength of one that passes
// (128 bits or more is 100). It is advisory: nothing refuses a password because of it.
//
// Both stages look at the password's bytes in the ANSI code page, the same bytes the key is
// digested from, never at wide characters. It runs on every keystroke of the password dialog,
// so the usual path allocates nothing; every copy of the password it makes is wiped.
#pragma once

#include <cstdint>

#include "common/crypto/password_policy.h"

// A zero-terminated ANSI password against the policy: a PasswordVerdict (negative) or the
// quality 0 to 100.
int checkPassword(const uint8_t* password, const PasswordPolicy& policy);

// The quality alone, 0 to 100, of a zero-terminated ANSI password; checkPassword calls it for a
// password that passed. The first byte adds no character class, though it counts in the length.
int passwordQuality(const uint8_t* password);

// checkPassword for a typed (UTF-16) password, converted to ANSI exactly as the key derivation
// converts it (at most 519 bytes, best-fit mapping off). What the dialog and sfxtool rate call.
int checkWidePassword(const char16_t* password, const PasswordPolicy& policy);

// checkPassword with the password dialog's policy (kDialogPasswordPolicy): the meter the dialog
// calls while a new password is typed. In its own file, so a program that never rates passwords
// links neither the meter nor its word list.
int rateDialogPassword(const uint8_t* ansi);
