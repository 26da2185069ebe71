#include "driver/numberedfiles.h"

#include <filesystem>
#include <system_error>

namespace {

bool Exists(const std::string& name)
{
    std::error_code error;
    return std::filesystem::exists(name, error);
}

constexpr int32_t kWidestPadding = 5;

}  // namespace

std::string FileNumbering::Name(int32_t n) const
{
    std::string number = std::to_string(n);
    if (static_cast<int32_t>(number.size()) < digits)
        number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
    return prefix + number + extension;
}

const std::vector<std::string>& SlideImageExtensions()
{
    static const std::vector<std::string> extensions{".jpg", ".jpeg", ".JPG", ".JPEG", ".png", ".PNG"};
    return extensions;
}

std::optional<FileNumbering> FindFileNumbering(const std::string& prefix, int32_t first,
                                               const std::vector<std::string>& extensions)
{
    // Plain first, so that every name that was found before this search
    // existed (<prefix>1.jpg) means what it meant.
    for (int32_t digits = 0; digits <= kWidestPadding; ++digits) {
        if (digits == 1) continue;  // the same as plain
        for (const std::string& extension : extensions) {
            FileNumbering numbering{prefix, digits, extension};
            if (Exists(numbering.Name(first))) return numbering;
        }
    }
    return std::nullopt;
}

std::string StopFileName(const std::string& prefix)
{
    const std::string name = prefix + ".stp";
    if (prefix.empty() || Exists(name)) return name;
    const char last = prefix.back();
    if (last != '.' && last != '-' && last != '_') return name;
    const std::string trimmed = prefix.substr(0, prefix.size() - 1) + ".stp";
    return Exists(trimmed) ? trimmed : name;
}

bool IsPNGName(std::string_view name)
{
    return name.ends_with(".png") || name.ends_with(".PNG");
}
