#pragma once

#include <cstdint>
#include <functional>
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
// The same, with `exists` telling which names exist.
std::optional<FileNumbering> FindFileNumbering(const std::string& prefix, int32_t first,
                                               const std::vector<std::string>& extensions,
                                               const std::function<bool(const std::string&)>& exists);

// The files in the prefix's folder named `prefix`, digits and one of the
// extensions, as the prefix names them (voice/slide07.wav for the prefix
// voice/slide), in name order. None when the folder cannot be read.
struct NumberedFile {
    std::string name;
    std::string digits;  // as written, leading zeros kept
    std::string extension;
};
std::vector<NumberedFile> ListNumberedFiles(const std::string& prefix, const std::vector<std::string>& extensions);

// The extensions a narration file may have, in the order they are tried.
const std::vector<std::string>& NarrationExtensions();

// The narration of each slide of a deck of `slideCount`, by its index: the
// file named `prefix`, the slide's number and a narration extension, or ""
// for a silent slide. The first slide that has a file fixes the padding
// (as slide 1 does for slides); the extension is looked up per slide, so a
// deck's recordings may mix formats. Throws ConverterError (status 1) when no
// file is found at all, when a file under that padding numbers no slide, or
// when a file found is not a regular file (the checks of OpenInputFile, whose
// status 2 is for a file that is one of the run's outputs).
// `item` names what the files narrate in messages: "slide", or "page" for a PDF deck.
std::vector<std::string> FindNarrationFiles(const std::string& prefix, int32_t slideCount,
                                            const std::string& item = "slide");

// The names a deck's stop-point file is looked for under, in order:
// <prefix>.stp, then, when the prefix ends in '.', '-' or '_' (talk.001.jpeg,
// deck-01.jpg), the name without that character (talk.stp).
std::vector<std::string> StopFileCandidates(const std::string& prefix);

// The first of StopFileCandidates that is there (as anything, a broken link
// too, so that reading it says what is wrong); none when no name is.
std::optional<std::string> FindStopFile(const std::string& prefix);

// The first file of a numbered series in `folder`: of the names ending in
// digits and one of the extensions, the lowest number (then the first name).
// `prefix` is what comes before its number (slides/Slide for slides/Slide1.JPG).
// None when there is none or the folder cannot be read.
struct FirstNumberedFile {
    std::string name;
    std::string prefix;
};
std::optional<FirstNumberedFile> FindFirstNumberedFile(const std::string& folder,
                                                       const std::vector<std::string>& extensions);

// Whether the name ends in a PNG extension.
bool IsPNGName(std::string_view name);

// prefix + n + ".jpg": talk1.jpg, talk12.jpg.
std::string SlideFileName(const std::string& prefix, int32_t n);
