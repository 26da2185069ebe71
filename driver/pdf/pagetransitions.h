#pragma once

// What a presentation PDF asks of each page besides drawing it: how it
// comes on (its /Trans) and how long it stays (its /Dur). Every value is
// the file's, so each is bounded here to what a show can use.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class PDFDeck;

// The transitions a page can ask for, by their /S names; Replace (also an
// absent or unknown name) shows the page at once.
enum class TransitionStyle { Replace, Split, Blinds, Box, Wipe, Dissolve, Glitter, Fly, Push, Cover, Uncover, Fade };

// The most seconds a transition may take and a page may be shown by itself;
// a longer one is cut to this.
constexpr double kLongestTransition = 10;
constexpr double kLongestPageDuration = 600;

struct PageTransition {
    TransitionStyle style = TransitionStyle::Replace;
    double seconds = 1;      // /D, 0 to kLongestTransition
    bool vertical = false;   // /Dm /V: Split's and Blinds' lines run up and down
    bool outward = false;    // /M /O: Split and Box from the centre out, Fly out
    // /Di: 0 left to right, 90 bottom to top, 180 right to left, 270 top to
    // bottom, 315 top left to bottom right; -1 for /None (Fly).
    int32_t direction = 0;
};

struct PageTiming {
    PageTransition transition;
    // /Dur: seconds, 0 to kLongestPageDuration; none when absent or not a
    // number of seconds (negative, not finite).
    std::optional<double> seconds;
};

// Every page's, in page order (deck.PageCount() of them), read through a
// document of their own. A page tree that is no tree (kids met twice, or
// nested past 64 levels) leaves what it does not reach at the defaults; a
// file MuPDF fails on while they are read gives the defaults for all, and
// `failure` (when given) its message.
std::vector<PageTiming> ReadPageTimings(const PDFDeck& deck, std::string* failure = nullptr);

// Bounds what a file says to what a show uses (exposed for the tests):
// NaN, infinities and negatives give `fallback`, the rest is cut to
// 0 ... longest.
double BoundedSeconds(double seconds, double longest, double fallback);
