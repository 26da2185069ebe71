// A program written against the installed library as its documentation says:
// every include in the <corvanex/...> form. Prints the library's version and
// writes a movie of one button.
//
//   consumer OUT.swf

#include <corvanex/base/fversion.h>
#include <corvanex/hf/hfaction.h>
#include <corvanex/hf/hfbutton.h>
#include <corvanex/hf/hfmovie.h>
#include <corvanex/hf/hfshape.h>

#include <cstdio>
#include <string>

static_assert(CORVANEX_VERSION_NUMBER ==
              CORVANEX_VERSION_MAJOR * 10000 + CORVANEX_VERSION_MINOR * 100 + CORVANEX_VERSION_PATCH);

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    std::printf("corvanex %s\n", CORVANEX_VERSION_STRING);
    HFMovie movie;
    movie.SetSize(100 * FTwipsPerPixel, 50 * FTwipsPerPixel);
    HFRectangle face(0, 0, 40 * FTwipsPerPixel, 20 * FTwipsPerPixel);
    face.SetSolidFill(HFColor{32, 64, 208, 255});
    HFButton button(face, face, face, face);
    button.AddAction(HFActionStop(), FButtonTransition::kOverDownToOverUp);
    movie.Frame(0)->AddObject(button);
    std::string error;
    if (!movie.WriteMovie(argv[1], &error)) {
        std::fprintf(stderr, "consumer: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
