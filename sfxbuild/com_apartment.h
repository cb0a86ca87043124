// COM for the length of one export call. The folder browser of the extraction dialog is a shell
// dialog that needs COM on the calling thread, and the host's interface thread may not have it:
// the export joins (or, if the host already did, re-enters) a single-threaded apartment and
// leaves it again before returning. A thread the host put in the multithreaded apartment is
// left as it is.
#pragma once

#include <objbase.h>

class ComApartment {
  public:
    ComApartment() : joined_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (joined_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool joined_;
};
