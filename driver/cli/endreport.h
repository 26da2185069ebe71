#pragma once

// What the converter says once the movie is written: a line for each thing
// about the show a user would otherwise find only when playing it.

#include <cstdint>
#include <string>
#include <vector>

#include "driver/compose/showcomposer.h"

// The lines for an image deck of `slideCount` slides, each without the
// program's name, in the order they are printed.
std::vector<std::string> ImageDeckReport(const SlideShowResult& show, int32_t slideCount, bool stopLast);

// The lines for a PDF deck.
std::vector<std::string> PDFDeckReport(const SlideShowResult& show);
