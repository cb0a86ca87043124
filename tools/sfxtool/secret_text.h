// A password held by the command-line tool: UTF-16 text wiped when it goes away.
#pragma once

#include <string>

#include "common/support/secure_zero.h"

class SecretText {
  public:
    SecretText() = default;
    ~SecretText() { wipe(); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    // Takes the text over and wipes the source.
    void take(std::u16string& text) {
        wipe();
        value_ = text;
        secureZero(text.data(), text.size() * sizeof(char16_t));
        text.clear();
    }
    void wipe() {
        secureZero(value_.data(), value_.size() * sizeof(char16_t));
        value_.clear();
    }
    const std::u16string& text() const { return value_; }
    bool empty() const { return value_.empty(); }

  private:
    std::u16string value_;
};
