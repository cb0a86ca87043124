// The password meter's result in words, for sfxtool rate and the create prompt.
#pragma once

#include <string>

// A short English verdict for a checkPassword result: why a rejected password was turned away,
// or how strong a passing one is.
std::u16string passwordVerdict(int result);

// The result itself as text ("-4", "28").
std::u16string resultText(int result);
