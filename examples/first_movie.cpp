// first_movie: the library in a few lines. A movie of two frames: a red
// square, then a blue circle in its place, where the movie stops.
//
//   first_movie OUT.swf

#include <cstdio>
#include <string>

#include "hf/hfaction.h"
#include "hf/hfmovie.h"
#include "hf/hfshape.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: first_movie OUT.swf\n");
        return 2;
    }
    constexpr int32_t twips = FTwipsPerPixel;  // the library measures in twips
    HFMovie movie;
    movie.SetSize(400 * twips, 300 * twips);
    movie.Frame(0)->SetBackgroundColor(HFColor{255, 255, 255, 255});

    // An object becomes tags when it is added to a frame.
    HFRectangle square(100 * twips, 50 * twips, 300 * twips, 250 * twips);
    square.SetSolidFill(HFColor{208, 32, 32, 255});
    movie.Frame(0)->AddObject(square);

    HFCircle circle(200 * twips, 150 * twips, 100 * twips);
    circle.SetSolidFill(HFColor{32, 64, 208, 255});
    movie.Frame(1)->RemoveObject(square);
    movie.Frame(1)->AddObject(circle);
    movie.Frame(1)->AddAction(HFActionStop());

    // Written whole or not at all; the library prints two depth-sorting lines.
    std::string error;
    if (!movie.WriteMovie(argv[1], &error)) {
        std::fprintf(stderr, "first_movie: cannot write '%s': %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
