// Files in the browser: whatever the page's script has made available under a name. Reading
// opens a Blob the page named (a picked archive, a file to store), read in slices so a file of
// any size costs one chunk of memory; creating opens a sink the script passes on to a stream or
// a download. There are no folders: names are keys, backslashes and all.
#include "common/support/code_page.h"
#include "common/support/file_io.h"
#include "common/support/host_calls_wasm.h"

namespace {

uint32_t g_lastError = 0;

// Errors as the POSIX side reports them; only their being non-zero matters to the engine.
constexpr uint32_t kNoSuchFile = 2;
constexpr uint32_t kIoError = 5;

int32_t handleOf(intptr_t handle) {
    return static_cast<int32_t>(handle);
}

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_), sizeObject_(other.sizeObject_) {
    other.handle_ = kClosed;
    other.sizeObject_ = 0;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        sizeObject_ = other.sizeObject_;
        other.handle_ = kClosed;
        other.sizeObject_ = 0;
    }
    return *this;
}

bool File::open(const char16_t* path, FileOpen) {
    close();
    const int32_t h = path != nullptr ? hostFileOpen(path, wideLength(path)) : -1;
    if (h < 0) {
        g_lastError = kNoSuchFile;
        return false;
    }
    handle_ = h;
    return true;
}

bool File::openAnsi(const char16_t* path, FileOpen how) {
    return open(path, how);
}

bool File::create(const char16_t* path, FileCreate how) {
    close();
    const int32_t onlyNew = how == FileCreate::kNew ? 1 : 0;
    const int32_t h =
        path != nullptr && path[0] != 0 ? hostFileCreate(path, wideLength(path), onlyNew) : -1;
    if (h < 0) {
        g_lastError = kIoError;
        return false;
    }
    handle_ = h;
    return true;
}

void File::close() {
    if (isOpen()) hostFileClose(handleOf(handle_));
    handle_ = kClosed;
    sizeObject_ = 0;
}

int64_t File::read(void* buffer, uint32_t bytes) {
    // The script reads whole slices, so a short count means the end of the file.
    const double n = hostFileRead(handleOf(handle_), buffer, bytes);
    if (n < 0) g_lastError = kIoError;
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

int64_t File::write(const void* buffer, uint32_t bytes) {
    const double n = hostFileWrite(handleOf(handle_), buffer, bytes);
    if (n < 0) g_lastError = kIoError;
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

int64_t File::size() {
    const double n = hostFileSize(handleOf(handle_));
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

bool File::seek(uint64_t offset) {
    return hostFileSeek(handleOf(handle_), static_cast<double>(offset)) != 0;
}

bool File::seekEnd() {
    const int64_t n = size();
    return n >= 0 && seek(static_cast<uint64_t>(n));
}

bool File::reserve(uint64_t) {
    // A sink grows as it is written; there is nothing to set aside.
    return true;
}

bool File::identity(FileIdentity& out) {
    // A Blob has no identity the page could compare; the engine treats that as unknown.
    out = FileIdentity{};
    return false;
}

bool deleteFile(const char16_t* path) {
    return path != nullptr && hostFileDelete(path, wideLength(path)) != 0;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
    return from != nullptr && to != nullptr &&
           hostFileRename(from, wideLength(from), to, wideLength(to)) != 0;
}

// The page's files are Blobs handed over by its worker, and a download carries no time: the
// engine reads and sets none here. An archive the page writes keeps no metadata (its writer does
// not ask for it), and a file saved from the page gets the time it is saved.
bool File::modifiedTime(uint64_t& ticks) {
    ticks = 0;
    return false;
}

bool File::setModifiedTime(uint64_t) {
    return false;
}

bool pathModifiedTime(const char16_t*, uint64_t& ticks) {
    ticks = 0;
    return false;
}

bool createFolder(const char16_t*) {
    // Names carry their folders; the page makes them when it saves.
    return false;
}

uint32_t lastSystemError() {
    return g_lastError;
}

void setLastSystemError(uint32_t error) {
    g_lastError = error;
}
