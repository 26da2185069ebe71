#pragma once

#include <cstdint>
#include <string>

#include "driver/forms/imageform.h"
#include "support/converter_run.h"

namespace swftest {

// The converter's request for a deck laid out as Scratch::MakeDeck lays it
// out (`deck`1... with config.txt, forward.jpg and backward.jpg beside it),
// the movie going to `output` in the same folder.
inline SlideShowRequest DeckRequest(const Scratch& deck, int32_t slides, const std::string& output = "out.swf")
{
    SlideShowRequest request;
    request.imagePrefix = (deck / "deck").string();
    request.slideCount = slides;
    request.configFile = (deck / "config.txt").string();
    request.forwardFile = (deck / "forward.jpg").string();
    request.backwardFile = (deck / "backward.jpg").string();
    request.outputFile = (deck / output).string();
    return request;
}

}  // namespace swftest
