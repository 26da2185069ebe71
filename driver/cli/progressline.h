#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

// How far reading a large deck has got: one line, rewritten in place, on a
// terminal. Ended with a line feed after the last slide, or when destroyed
// unfinished (then with the latest counts), so that what follows starts on a
// line of its own.
class ProgressLine {
public:
    // "read 3 of 80 slides" by default; a PDF deck's is "rendered 3 of 80 pages".
    ProgressLine(std::FILE* terminal, int32_t total, const char* done = "read", const char* items = "slides")
        : terminal(terminal), total(total), done(done), items(items)
    {
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();

    // Decks of more than this many slides get a progress line.
    static constexpr int32_t kMinSlides = 51;
    // PDF decks of more than this many pages: a page of text takes some 20 ms
    // to render at 96 dpi and several times that lossless or at a higher
    // dpi, where a slide file's header is read at once.
    static constexpr int32_t kMinPages = 11;

    // Shown at the first and the last slide, and at most ten times a second between.
    void Update(int32_t slides, uint64_t bytes);
    // Ends the line shown, with its latest counts, so that another message
    // starts on a line of its own; the next update starts a new line.
    void Break();

private:
    void Show(bool end);

    std::FILE* terminal;
    int32_t total;
    const char* done;
    const char* items;
    int32_t slides = 0;
    uint64_t bytes = 0;
    bool open = false;  // a line is shown without its line feed
    std::chrono::steady_clock::time_point shown;
};
