// sfxtool create's signing step: the finished self-extracting archive is signed with
// osslsigncode (Authenticode, SHA-256), read back under the archive's own key to prove it still
// opens, and only then moved to the output path. Signing has to be the last step: whatever is
// appended after the certificate table breaks the signature and the archive both.
#pragma once

#include <string>

#include "common/crypto/password_cipher.h"
#include "tools/sfxtool/options.h"

// What is wrong with the signing options, or an empty text: the certificate and key go
// together, a PKCS#12 file replaces both, a password and a timestamp server need one of them,
// and a .tvf archive (no program in front) cannot carry a signature.
std::u16string signingOptionsProblem(const Options& o);

// Where create has the writer put an archive that is to be signed: beside the output.
std::u16string unsignedPathFor(const std::u16string& output);

// Signs `unsignedPath` into a second temporary beside `output`, checks that the signed image
// still reads under `cipher` (the writer's key, or none) with `fileCount` files, and moves it to
// `output`. Both temporaries are gone afterwards, whatever happened; on failure nothing is at
// `output` that was not there before. Returns 0, or kExitSigning after saying what went wrong.
int signArchive(const Options& o, const std::u16string& unsignedPath, const std::u16string& output,
                PasswordCipher& cipher, uint32_t fileCount);
