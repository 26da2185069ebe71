#pragma once

#include <cstdint>

class HFFrame;

// The most bytes a movie can have: its header's length field is 32-bit.
constexpr uint64_t kLargestMovie = 0xFFFFFFFF;

// The running length of a movie as its frames are composed, so that a deck
// too large for one movie is refused at the slide that takes it past the
// limit, not after every slide has been made. Each frame's tags are measured
// as they will be written (large payloads by their size, without reading
// them); the closing frame, composed last, is left to the write's own check.
class MovieLengthTally {
public:
    explicit MovieLengthTally(uint64_t limit = kLargestMovie);

    // Adds a composed frame's tags and the tag that ends it. False once the
    // movie is longer than the limit.
    bool AddFrame(HFFrame& frame);
    uint64_t Length() const { return length; }
    uint64_t Limit() const { return limit; }

private:
    uint64_t limit;
    uint64_t length;
};
