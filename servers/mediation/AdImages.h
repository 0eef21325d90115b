// AdImages: PNG pictures drawn on demand for the stand-in ads and the share
// images — a banner with a title, a square icon with a letter, a launch
// picture. Drawn with Cairo into memory. Thread-safe (no shared state).
#pragma once

#include <string>
#include <string_view>

#include "platform/core/Result.h"

namespace murmelo::servers {

// `color` is "#rrggbb"; an unreadable colour draws grey.
Result<std::string> bannerPng(std::string_view title, std::string_view color, int width = 320,
                              int height = 50);
Result<std::string> iconPng(std::string_view letter, std::string_view color, int size);
Result<std::string> launchPng(std::string_view title, int width = 320, int height = 480);

} // namespace murmelo::servers
