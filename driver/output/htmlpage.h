#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/fatomicfile.h"

// An HTML page that plays a slide show in the browser through the Ruffle web
// player: the show fills the window with its aspect kept, goes full screen on
// a button or the F key, and the player holds the keyboard.
struct ShowPage {
    std::string movieUrl;      // relative to the page, already percent-encoded
    std::string title;         // plain text
    std::string playerScript;  // URL of the player's ruffle.js, as given
    int32_t width = 0;         // the movie's size in pixels: its aspect
    int32_t height = 0;
};

constexpr const char* kDefaultPlayerScript = "ruffle/ruffle.js";

std::string ShowPageHtml(const ShowPage& page);

// The movie's URL as seen from the page's folder: a relative path whose bytes
// outside letters, digits and "-._~/" are percent-encoded.
std::string MovieUrlFromPage(const std::string& pageFile, const std::string& movieFile);

// Text with &, <, >, " and ' as character references.
std::string HtmlEscaped(const std::string& text);

// A page written whole or not at all. Its temporary file is made beside it at
// once, so that a folder that cannot take the page fails the run before the
// movie is written; Commit fills it and puts it in place. Dropped unless
// committed. Throws ConverterError naming the page.
class PageWriter {
public:
    explicit PageWriter(std::string pageFile);

    void Commit(const std::string& html);

private:
    [[noreturn]] void Fail(const std::string& reason);

    std::string pageFile;
    FAtomicFile file;
};
