#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class FTag;
class HFFrame;

// The most bytes a movie can have: its header's length field is 32-bit.
constexpr uint64_t kLargestMovie = 0xFFFFFFFF;

// The running length of a movie as its frames are composed, so that a deck
// too large for one movie is refused at the slide that takes it past the
// limit, not after every slide has been made. Each frame's tags are measured
// as they will be written (large payloads by their size, without reading
// them).
class MovieLengthTally {
public:
    // `otherBytes`: what the header (its length depends on the frame's size,
    // FSWFFile::HeaderSize) and tags to be added to frames counted before (a
    // background colour set once the slides are in) will take, counted from
    // the start. The End tag is counted here.
    explicit MovieLengthTally(uint64_t limit = kLargestMovie, uint64_t otherBytes = 0);

    // Adds a composed frame's tags and the tag that ends it. False once the
    // movie is longer than the limit.
    bool AddFrame(HFFrame& frame);
    // Adds tags that join a frame counted before. False as AddFrame.
    bool AddTags(const std::vector<std::unique_ptr<FTag>>& tags);
    uint64_t Length() const { return length; }
    uint64_t Limit() const { return limit; }

private:
    uint64_t limit;
    uint64_t length;
};

// Replaces the define tags of a composed frame by their written bytes where
// they can be (FDTDefine... -> FDTWritten): the movie holds every frame until
// it is written, and a slide's shapes and buttons take several times as much
// memory as objects as they do written.
void KeepDefinitionsWritten(HFFrame& frame);
