// The engine's bounded formatter (wide_format.h), returning a string: how sfxtool builds the
// lines it prints, so numbers read the same on every build.
#pragma once

#include <string>

std::u16string formatted(const char16_t* format, ...);
