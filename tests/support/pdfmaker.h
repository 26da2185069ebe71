#pragma once

// Slide-like PDF files written object by object, for the PDF deck tests, the
// benchmark and the demo: 16:9 pages of 960 x 540 points with a title in a
// standard font (not embedded), flat colour blocks and a bar chart.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pdfmaker {

struct DeckOptions {
    int32_t pages = 10;
    std::set<int32_t> portraitPages;  // 1-based: 540 x 960 points instead
    std::set<int32_t> rotatedPages;   // drawn landscape, shown turned a quarter (/Rotate 90)
    std::set<int32_t> croppedPages;   // a crop box 100 points inside the media box all round
    std::set<int32_t> damagedPages;   // bytes that are not PDF syntax halfway through the content
    // A square of the page's own colour (CornerColour) in each corner.
    bool numberedCorners = false;
    // Under everything, an axial shading from pale blue at the top to white.
    bool gradientBackground = false;
    // 1-based: the photo in the chart's place. The photo is a baseline RGB
    // JPEG file of photoWidth x photoHeight pixels, embedded as it is.
    std::set<int32_t> photoPages;
    std::string photoJPEG;
    // From page (1-based) to page: a link annotation over the first colour
    // block that goes to the other page.
    std::map<int32_t, int32_t> pageLinks;
    int32_t photoWidth = 0;
    int32_t photoHeight = 0;
    // Either set: the standard security handler, RC4 with a 40-bit key
    // (revision 2). A user password is needed to open the file; an owner
    // password alone only restricts what a viewer allows.
    std::string userPassword;
    std::string ownerPassword;
};

struct Colour {
    uint8_t red, green, blue;
};

// Levels 0, 85, 170 and 255 in each channel: 64 colours that survive JPEG.
Colour CornerColour(int32_t page);
// The page a colour read back from a corner belongs to (modulo 64).
int32_t PageOfCornerColour(uint8_t red, uint8_t green, uint8_t blue);

constexpr double kCornerSquare = 60;  // points

// The first colour block of a landscape page, where a page link lies: its
// left and top edges and its side, in points from the shown page's top left.
constexpr double kLinkBlockLeft = 48, kLinkBlockTop = 360, kLinkBlockSide = 120;

std::string MakeDeck(const DeckOptions& options);
// A well-formed file whose page tree is empty.
std::string MakeEmptyDeck();

// A file of these objects, numbered from 1 in order (the first is the
// catalog), with `trailerEntries` added to its trailer.
std::string MakePDF(const std::vector<std::string>& objects, const std::string& trailerEntries = "");

}  // namespace pdfmaker
