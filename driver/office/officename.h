#pragma once

// What names an office deck, and the limits of its conversion: known in every
// build, so that one without the PDF form can say what such a deck needs.

#include <cstdint>
#include <string>

// .pptx, .ppt, .pps, .ppsx, .pot, .potx, .odp, .otp, .fodp and .key, in any case.
bool IsOfficeDeckName(const std::string& name);

// How long LibreOffice may take to make the PDF (--office-timeout).
constexpr int32_t kDefaultOfficeSeconds = 300;
constexpr int32_t kMaxOfficeSeconds = 86400;
