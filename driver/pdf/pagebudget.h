#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// What recording one page may spend, checked while it is recorded: a page
// of the world's PDFs may draw without end (forms inside forms, dashes a
// thousandth of a point long, a star of thousands of points filled
// non-zero), and it is to become a picture as soon as it spends its budget,
// not once it has held minutes of time and gigabytes of records. The first
// limit reached is the reason given.
class PageBudget {
public:
    struct Limits {
        double seconds = 0;        // recording time (0: none; the show gives its pages 2)
        uint64_t edges = 100'000;  // edges of the page's shapes and clip layers, as they are made
        uint32_t patches = 32;     // pictures covering what SWF cannot draw
    };

    explicit PageBudget(const Limits& limits);

    // Whether the budget is spent; checks the time.
    bool Spent();
    // Why it was spent (empty while it is not).
    const std::string& Reason() const { return reason; }
    // Takes `count` edges: false, and the budget spent, past the limit.
    bool TakeEdges(uint64_t count);
    // Spends the budget for another reason (the first one given is kept).
    void Spend(const std::string& why);

    const Limits& Of() const { return limits; }
    // Infinite without a time limit.
    double SecondsLeft() const;
    uint64_t Edges() const { return edges; }

private:
    Limits limits;
    std::chrono::steady_clock::time_point deadline;
    uint64_t edges = 0;
    std::string reason;
};
