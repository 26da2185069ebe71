#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How the files of a numbered series are named: the prefix, the number
// zero-padded to `digits` (0: as it is) and the extension. Exporters differ:
// Slide1.JPG, talk.001.jpeg, talk-01.jpg.
struct FileNumbering {
    std::string prefix;
    int32_t digits = 0;
    std::string extension;  // with its dot

    // The name of file n: talk.001.jpeg, ..., talk.1000.jpeg.
    std::string Name(int32_t n) const;
};

// The extensions a slide image may have, in the order they are tried.
const std::vector<std::string>& SlideImageExtensions();

// Finds the numbering of the series from its file `first`: for the plain
// number, then the number padded to 2, 3, 4 and 5 digits, each extension in
// turn; the first name that exists fixes the pattern for the whole series.
// None when no name exists.
std::optional<FileNumbering> FindFileNumbering(const std::string& prefix, int32_t first,
                                               const std::vector<std::string>& extensions);

// The stop-point file of a deck: <prefix>.stp; when that is missing and the
// prefix ends in '.', '-' or '_' (talk.001.jpeg, deck-01.jpg), the name
// without that character (talk.stp) when it exists.
std::string StopFileName(const std::string& prefix);

// Whether the name ends in a PNG extension.
bool IsPNGName(std::string_view name);
