#include "driver/input/numberedfiles.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>

#include "base/futf8names.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"

namespace {

bool Exists(const std::string& name)
{
    std::error_code error;
    return std::filesystem::exists(FPathFromUTF8(name), error);
}

constexpr int32_t kWidestPadding = 5;

// What ends a folder's name in a path.
#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

bool IsSeparator(char c)
{
    return std::string_view(kSeparators).find(c) != std::string_view::npos;
}

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
    return FindFileNumbering(prefix, first, extensions, Exists);
}

std::optional<FileNumbering> FindFileNumbering(const std::string& prefix, int32_t first,
                                               const std::vector<std::string>& extensions,
                                               const std::function<bool(const std::string&)>& exists)
{
    // Plain first, so that every name that was found before this search
    // existed (<prefix>1.jpg) means what it meant.
    for (int32_t digits = 0; digits <= kWidestPadding; ++digits) {
        if (digits == 1) continue;  // the same as plain
        for (const std::string& extension : extensions) {
            FileNumbering numbering{prefix, digits, extension};
            if (exists(numbering.Name(first))) return numbering;
        }
    }
    return std::nullopt;
}

std::vector<std::string> StopFileCandidates(const std::string& prefix)
{
    std::vector<std::string> names{prefix + ".stp"};
    if (!prefix.empty() && (prefix.back() == '.' || prefix.back() == '-' || prefix.back() == '_'))
        names.push_back(prefix.substr(0, prefix.size() - 1) + ".stp");
    return names;
}

std::optional<std::string> FindStopFile(const std::string& prefix)
{
    for (const std::string& name : StopFileCandidates(prefix)) {
        std::error_code error;
        if (std::filesystem::symlink_status(FPathFromUTF8(name), error).type() != std::filesystem::file_type::not_found && !error)
            return name;
    }
    return std::nullopt;
}

std::optional<FirstNumberedFile> FindFirstNumberedFile(const std::string& folder,
                                                       const std::vector<std::string>& extensions)
{
    namespace fs = std::filesystem;
    const std::string at = folder.empty() || IsSeparator(folder.back()) ? folder : folder + "/";
    std::optional<FirstNumberedFile> first;
    std::string firstNumber;  // without leading zeros
    std::error_code error;
    for (fs::directory_iterator it(FPathFromUTF8(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string entry = FUTF8FromPath(it->path().filename());
        const auto extension = std::find_if(extensions.begin(), extensions.end(),
                                            [&](const std::string& e) { return entry.ends_with(e); });
        if (extension == extensions.end()) continue;
        const std::string stem = entry.substr(0, entry.size() - extension->size());
        const size_t digits = stem.find_last_not_of("0123456789") + 1;  // npos + 1: all digits
        if (digits == stem.size()) continue;
        std::string number = stem.substr(digits);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
        const auto lower = [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        };
        const std::string name = at + entry;
        if (first && (lower(firstNumber, number) || (number == firstNumber && first->name < name))) continue;
        first = FirstNumberedFile{name, at + stem.substr(0, digits)};
        firstNumber = number;
    }
    return first;
}

bool IsPNGName(std::string_view name)
{
    return name.ends_with(".png") || name.ends_with(".PNG");
}

std::vector<NumberedFile> ListNumberedFiles(const std::string& prefix, const std::vector<std::string>& extensions)
{
    namespace fs = std::filesystem;
    // "voice/slide": the folder voice, names starting "slide"; "voice/": every name in voice.
    const size_t slash = prefix.find_last_of(kSeparators);
    const std::string folder = slash == std::string::npos ? "." : prefix.substr(0, slash + 1);
    const std::string start = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
    std::vector<NumberedFile> found;
    std::error_code error;
    for (fs::directory_iterator it(FPathFromUTF8(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string entry = FUTF8FromPath(it->path().filename());
        if (!entry.starts_with(start)) continue;
        const size_t digitsEnd = entry.find_first_not_of("0123456789", start.size());
        if (digitsEnd == start.size() || digitsEnd == std::string::npos) continue;
        const std::string extension = entry.substr(digitsEnd);
        if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) continue;
        found.push_back({prefix + entry.substr(start.size()), entry.substr(start.size(), digitsEnd - start.size()),
                         extension});
    }
    std::sort(found.begin(), found.end(),
              [](const NumberedFile& a, const NumberedFile& b) { return a.name < b.name; });
    return found;
}

const std::vector<std::string>& NarrationExtensions()
{
    static const std::vector<std::string> extensions{".wav", ".WAV", ".flac", ".FLAC",
                                                     ".ogg", ".OGG", ".mp3", ".MP3"};
    return extensions;
}

std::vector<std::string> FindNarrationFiles(const std::string& prefix, int32_t slideCount, const std::string& item)
{
    // One listing of the folder instead of a probe per slide, padding and extension.
    const std::vector<NumberedFile> listed = ListNumberedFiles(prefix, NarrationExtensions());
    std::set<std::string> names;
    for (const NumberedFile& file : listed) names.insert(file.name);
    const auto exists = [&names](const std::string& name) { return names.count(name) > 0; };

    const auto numbersNoSlide = [slideCount, &item](const std::string& name) {
        return ConverterError("the narration file '" + name + "' numbers no " + item + " of the " +
                                  std::to_string(slideCount) + " " + item + (slideCount == 1 ? "" : "s"),
                              kExitFailure);
    };

    std::optional<FileNumbering> numbering;
    for (int32_t n = 1; n <= slideCount && !numbering && !names.empty(); ++n)
        numbering = FindFileNumbering(prefix, n, NarrationExtensions(), exists);
    if (!numbering) {
        if (listed.empty()) {
            throw ConverterError("no narration file found for '" + prefix + "': expected '" + prefix +
                                     "1.wav' or the like (numbered 1 or 01 to 00001, ending in .wav, .flac, .ogg "
                                     "or .mp3, in either case)",
                                 kExitFailure);
        }
        throw numbersNoSlide(listed.front().name);
    }

    // A file whose number is written under the fixed padding but is no slide
    // would be left out without a word: most likely a slide is missing.
    for (const NumberedFile& file : listed) {
        if (file.digits.size() > 9) {
            if (file.digits[0] == '0') continue;  // padded beyond any padding
            throw numbersNoSlide(file.name);
        }
        const int32_t number = std::stoi(file.digits);
        if (FileNumbering{prefix, numbering->digits, file.extension}.Name(number) != file.name)
            continue;  // another padding: not a narration of this deck
        if (number < 1 || number > slideCount) throw numbersNoSlide(file.name);
    }

    std::vector<std::string> files(static_cast<size_t>(slideCount));
    for (int32_t n = 1; n <= slideCount; ++n) {
        for (const std::string& extension : NarrationExtensions()) {
            const std::string name = FileNumbering{prefix, numbering->digits, extension}.Name(n);
            if (exists(name)) {
                // The decoders open it by name and would wait on a FIFO for ever.
                CheckInputFile(name, "narration file");
                files[static_cast<size_t>(n - 1)] = name;
                break;
            }
        }
    }
    return files;
}

std::string SlideFileName(const std::string& prefix, int32_t n)
{
    return prefix + std::to_string(n) + ".jpg";
}
