#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "common/support/file_io.h"
#include "common/support/file_time.h"
#include "common/support/stop_request.h"
#include "common/support/utf8.h"

namespace {

// The UTF-8 form of a path, with backslashes turned into the native separator.
std::string nativePath(const char16_t* path) {
    std::string out = utf8FromWide(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

int fd(intptr_t handle) {
    return static_cast<int>(handle);
}

}  // namespace

bool File::open(const char16_t* path, FileOpen how) {
    close();
    if (path == nullptr || path[0] == 0) {
        errno = ENOENT;
        return false;
    }
    const int flags = (how == FileOpen::kReadShared ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int f = ::open(nativePath(path).c_str(), flags);
    if (f < 0) return false;
    struct stat st;
    if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A folder opens on POSIX but is not a file anyone can read or write as one.
        ::close(f);
        errno = EISDIR;
        return false;
    }
    handle_ = f;
    if (how == FileOpen::kReadShared) openedSize_ = st.st_size;
    return true;
}

bool File::openAnsi(const char16_t* path, FileOpen how) {
    return open(path, how);
}

bool File::create(const char16_t* path, FileCreate how) {
    close();
    if (path == nullptr || path[0] == 0) {
        errno = ENOENT;
        return false;
    }
    const int mode = how == FileCreate::kNew ? O_CREAT | O_EXCL | O_NOFOLLOW : O_CREAT | O_TRUNC;
    const int f = ::open(nativePath(path).c_str(), O_RDWR | mode | O_CLOEXEC, 0644);
    if (f < 0) return false;
    handle_ = f;
    return true;
}

void File::close() {
    if (isOpen()) ::close(fd(handle_));
    handle_ = kClosed;
    sizeObject_ = 0;
    openedSize_ = -1;
}

namespace {

// A job asked to stop (stop_request.h) reads, writes and moves nothing more.
bool refusedForStop() {
    if (stopRequest() == 0) return false;
    errno = EINTR;
    return true;
}

}  // namespace

int64_t File::read(void* buffer, uint32_t bytes) {
    if (refusedForStop()) return -1;
    // A short read from a regular file only happens at its end or on a signal; keep reading
    // so that callers see the same whole-chunk reads as on Windows.
    uint32_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::read(fd(handle_), static_cast<char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

int64_t File::write(const void* buffer, uint32_t bytes) {
    if (refusedForStop()) return -1;
    uint32_t done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::write(fd(handle_), static_cast<const char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? static_cast<int64_t>(done) : -1;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

int64_t File::size() {
    if (openedSize_ >= 0) return openedSize_;
    struct stat st;
    if (fstat(fd(handle_), &st) != 0) return -1;
    return st.st_size;
}

bool File::seek(uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    return lseek(fd(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::seekEnd() {
    return lseek(fd(handle_), 0, SEEK_END) >= 0;
}

bool File::reserve(uint64_t bytes) {
    if (bytes == 0) return true;
    if (bytes > static_cast<uint64_t>(INT64_MAX)) return false;
    return ftruncate(fd(handle_), static_cast<off_t>(bytes)) == 0;
}

bool File::identity(FileIdentity& out) {
    struct stat st;
    out = FileIdentity{};
    if (fstat(fd(handle_), &st) != 0) return false;
    out.volume = static_cast<uint64_t>(st.st_dev);
    out.index = static_cast<uint64_t>(st.st_ino);
    out.known = true;
    return true;
}

bool File::modifiedTime(uint64_t& ticks) {
    struct stat st;
    ticks = 0;
    if (fstat(fd(handle_), &st) != 0) return false;
    ticks = ticksFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return ticks != 0;
}

bool File::setModifiedTime(uint64_t ticks) {
    int64_t seconds = 0, nanoseconds = 0;
    unixFromTicks(ticks, seconds, nanoseconds);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    return futimens(fd(handle_), times) == 0;
}

bool pathModifiedTime(const char16_t* path, uint64_t& ticks) {
    struct stat st;
    ticks = 0;
    if (lstat(nativePath(path).c_str(), &st) != 0) return false;
    ticks = ticksFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return ticks != 0;
}

bool deleteFile(const char16_t* path) {
    return unlink(nativePath(path).c_str()) == 0;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
    if (refusedForStop()) return false;
    return rename(nativePath(from).c_str(), nativePath(to).c_str()) == 0;
}

bool createFolder(const char16_t* path) {
    return mkdir(nativePath(path).c_str(), 0755) == 0;
}

uint32_t lastSystemError() {
    return static_cast<uint32_t>(errno);
}

void setLastSystemError(uint32_t error) {
    errno = static_cast<int>(error);
}
