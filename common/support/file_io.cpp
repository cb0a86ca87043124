#include "common/support/file_io.h"

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
