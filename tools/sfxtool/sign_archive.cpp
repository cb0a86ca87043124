#include "tools/sfxtool/sign_archive.h"

#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/signed_image.h"
#include "common/support/clock.h"
#include "common/support/file_io.h"
#include "common/support/wide_format.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/signing_tool.h"

namespace {

// A name beside the output that no other run picks in the same moment.
std::u16string besideOutput(const std::u16string& output, const char16_t* what) {
    const UtcTime now = currentUtcTime();
    char16_t suffix[40];
    formatWide(suffix, 40, u".%02d%03d.%s", now.second, now.millisecond, what);
    return output + suffix;
}

std::vector<std::u16string> signingArguments(const Options& o, const std::u16string& in,
                                             const std::u16string& out) {
    std::vector<std::u16string> args{u"sign", u"-h", u"sha256"};
    if (!o.signPkcs12.empty()) {
        args.insert(args.end(), {u"-pkcs12", o.signPkcs12});
    } else {
        args.insert(args.end(), {u"-certs", o.signCert, u"-key", o.signKey});
    }
    if (!o.signPass.empty()) args.insert(args.end(), {u"-readpass", u"/dev/stdin"});
    if (!o.signTimestamp.empty()) args.insert(args.end(), {u"-ts", o.signTimestamp});
    args.insert(args.end(), {u"-in", in, u"-out", out});
    return args;
}

// Reads the signed image as a reader will: the certificate table found at its end, then each
// end the padding allows, latest first, until one ends in a trailer that checks out; its info
// block must then read and name as many files as were written. A wrong key at every end means
// the signing changed what it must not; a right key with sizes that do not add up, damage.
ExtractResult readBack(const std::u16string& path, PasswordCipher& cipher, uint32_t fileCount,
                       bool& tableFound) {
    File image;
    tableFound = false;
    if (!image.open(path.c_str(), FileOpen::kReadShared)) return kCorrupt;
    const int64_t size = image.size();
    if (size < 0) return kCorrupt;
    const PayloadEnd found = findPayloadEnd(image, static_cast<uint64_t>(size));
    tableFound = found.certificateTable;
    if (!tableFound) return kCorrupt;

    ExtractResult verdict = kWrongPassword;
    for (uint32_t back = 0; back <= found.zeroBytes; ++back) {
        const uint64_t end = found.end - back;
        ArchiveTrailer trailer;
        if (end <= kSmallestImage || !readTrailer(image, end, cipher, trailer)) return kCorrupt;
        const ExtractResult checked = checkTrailer(trailer, end);
        if (checked == kCorrupt) verdict = kCorrupt;
        if (checked != kExtractOk) continue;
        if (trailer.fileCount != fileCount) return kCorrupt;
        ByteBuf info;
        FileTable files;
        const PayloadLocation where = locationOf(trailer, end);
        return fileCount == 0 ? kExtractOk
                              : readInfoBlock(image, trailer, where, cipher, info, files);
    }
    return verdict;
}

}  // namespace

std::u16string signingOptionsProblem(const Options& o) {
    const bool pair = !o.signCert.empty() || !o.signKey.empty();
    if (!o.signing()) {
        if (!o.signPass.empty() || !o.signTimestamp.empty())
            return u"--sign-pass and --sign-timestamp go with --sign-cert or --sign-pkcs12";
        return u"";
    }
    if (!signingBuiltIn())
        return u"signing is available in the Linux build of sfxtool; on Windows sign the "
               u"finished archive with signtool";
    if (pair && !o.signPkcs12.empty())
        return u"give either --sign-cert with --sign-key, or --sign-pkcs12";
    if (pair && (o.signCert.empty() || o.signKey.empty()))
        return u"--sign-cert and --sign-key go together";
    if (o.plain)
        return u"a .tvf archive cannot be signed: only a self-extracting archive carries a "
               u"program to sign";
    return u"";
}

std::u16string unsignedPathFor(const std::u16string& output) {
    return besideOutput(output, u"unsigned");
}

int signArchive(const Options& o, const std::u16string& unsignedPath, const std::u16string& output,
                PasswordCipher& cipher, uint32_t fileCount) {
    const std::u16string signedPath = besideOutput(output, u"signed");
    const int status = runSigningTool(signingArguments(o, unsignedPath, signedPath), o.signPass);
    deleteFile(unsignedPath.c_str());
    if (status != 0) {
        deleteFile(signedPath.c_str());
        complain(status < 0 ? u"cannot start osslsigncode: is it installed (Debian package "
                              u"osslsigncode)?"
                            : u"osslsigncode could not sign the archive (see its message above)");
        return kExitSigning;
    }
    bool tableFound = false;
    const ExtractResult read = readBack(signedPath, cipher, fileCount, tableFound);
    if (read != kExtractOk) {
        deleteFile(signedPath.c_str());
        complain(!tableFound ? u"the signed archive carries no certificate table at its end"
                             : u"the signed archive no longer reads; it was not kept");
        return kExitSigning;
    }
    if (!replaceFile(signedPath.c_str(), output.c_str())) {
        deleteFile(signedPath.c_str());
        complain(u"'" + output + u"' could not be created.");
        return 4;
    }
    return 0;
}
