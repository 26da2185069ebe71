#include "driver/compose/whiterectangle.h"

#include "hf/hfmovie.h"
#include "hf/hfshape.h"

uint16_t DefineWhiteRectangle(HFFrame& frame, HFMovie& movie, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax)
{
    HFRectangle rectangle(xmin, ymin, xmax, ymax);
    rectangle.SetSolidFill(HFColor{255, 255, 255, 255});
    rectangle.SetLineWidth(0);
    rectangle.SetDefineOnly(true);
    rectangle.AddToFrame(frame, movie);
    return static_cast<uint16_t>(rectangle.ID());
}
