#pragma once

#include <cstdint>
#include <string>

// An HTML page that plays a slide show in the browser through the Ruffle web
// player, the player sized to the movie and holding the keyboard.
struct ShowPage {
    std::string movieUrl;      // relative to the page, already percent-encoded
    std::string title;         // plain text
    std::string playerScript;  // URL of the player's ruffle.js, as given
    int32_t width = 0;         // the movie's size in pixels
    int32_t height = 0;
};

constexpr const char* kDefaultPlayerScript = "ruffle/ruffle.js";

std::string ShowPageHtml(const ShowPage& page);

// The movie's URL as seen from the page's folder: a relative path whose bytes
// outside letters, digits and "-._~/" are percent-encoded.
std::string MovieUrlFromPage(const std::string& pageFile, const std::string& movieFile);

// Text with &, <, >, " and ' as character references.
std::string HtmlEscaped(const std::string& text);

// Writes the page whole or not at all (through a temporary file beside it);
// throws ConverterError naming the page when that fails.
void WriteShowPage(const std::string& pageFile, const std::string& html);
