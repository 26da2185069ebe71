#pragma once

#include <cstdint>

class HFFrame;
class HFMovie;

// Defines in `frame`, without placing it, a white rectangle with no outline
// over xmin, ymin to xmax, ymax in twips: the hit area of a link button, and
// a page sprite's clip and paper. Its character ID.
uint16_t DefineWhiteRectangle(HFFrame& frame, HFMovie& movie, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax);
