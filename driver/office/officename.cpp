#include "driver/office/officename.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

bool IsOfficeDeckName(const std::string& name)
{
    static constexpr std::array<std::string_view, 10> kExtensions = {".pptx", ".ppt", ".pps", ".ppsx", ".pot",
                                                                    ".potx", ".odp", ".otp", ".fodp", ".key"};
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find_first_of("/\\", dot) != std::string::npos) return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}
