// A fresh folder for one test, removed with everything in it afterwards. Its path is UTF-16
// with backslashes, the form the engine takes on every platform.
#pragma once

#include <filesystem>
#include <string>

#include "common/support/utf8.h"

class TempFolder {
  public:
    TempFolder() {
        static int counter = 0;
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            dir_ = base /
                   ("quillon-test-" + std::to_string(nonce()) + "-" + std::to_string(counter++));
            std::error_code ec;
            if (std::filesystem::create_directory(dir_, ec)) break;
        }
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::u16string path() const {
        std::u16string p = dir_.u16string();
        for (char16_t& c : p) {
            if (c == u'/') c = u'\\';
        }
        return p;
    }

    const std::filesystem::path& native() const { return dir_; }

  private:
    static unsigned long nonce() {
        return static_cast<unsigned long>(
            std::filesystem::file_time_type::clock::now().time_since_epoch().count() & 0xFFFFFF);
    }
    std::filesystem::path dir_;
};
