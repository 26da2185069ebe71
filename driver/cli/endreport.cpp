#include "driver/cli/endreport.h"

#include <algorithm>
#include <utility>

#include "driver/compose/stoptable.h"

namespace {

// Stop-file entries that backward buttons return to but that no 16-bit frame
// number holds: the buttons go to their low 16 bits, as they always did.
std::string ReturnTargetsNote(const SlideShowResult& show)
{
    const std::vector<int32_t>& values = show.returnTargetsOutOfRange;
    if (values.empty()) return {};
    constexpr size_t kNamed = 8;  // a file of garbage could give many
    std::string list, frames;
    const size_t named = std::min(values.size(), kNamed);
    for (size_t i = 0; i < named; ++i) {
        const char* separator = i == 0 ? "" : i + 1 == values.size() ? " and " : ", ";
        list += separator + std::to_string(values[i]);
        frames += separator + std::to_string(FrameNumberOfEntry(values[i]));
    }
    if (values.size() > named) {
        list += " and " + std::to_string(values.size() - named) + " more";
        frames += ", ...";
    }
    const bool one = values.size() == 1;
    return "in the stop-point file '" + show.stopsFile + "', the return " + (one ? "frame " : "frames ") + list +
           (one ? " is" : " are") + " outside 0 to 65535; backward buttons go to their low 16 bits (" + frames + ")";
}

// Narrated slides that are no stop point: their narration plays on until a click.
std::string NarrationPlayingOnNote(const SlideShowResult& show)
{
    const std::vector<int32_t>& on = show.narrationPlaysOn;
    if (on.empty()) return {};
    std::string slides;
    for (size_t i = 0; i < on.size(); ++i)
        slides += (i == 0 ? "" : i + 1 == on.size() ? " and " : ", ") + std::to_string(on[i]);
    const bool one = on.size() == 1;
    return std::string(one ? "slide " : "slides ") + slides + (one ? " is" : " are") + " narrated but not " +
           (one ? "a stop point: its" : "stop points: their") + " narration plays on into the next slides until a click";
}

// An image deck without a stop-point file stops on every slide; one line says
// so, naming the files looked for, since a deck meant to play through would
// otherwise only show it when played.
std::string StopsOnEverySlideNote(const SlideShowResult& show, bool stopLast)
{
    const std::vector<std::string>& tried = show.stopFilesTried;
    if (tried.empty()) return {};
    std::string names;
    for (size_t i = 0; i < tried.size(); ++i) names += (i == 0 ? "'" : "' or '") + tried[i];
    return "no stop-point file " + names + "': the show stops on every slide" +
           (stopLast ? "" : " but the last, which plays on to the closing notice (--stop-last makes it wait)");
}

void AddNote(std::vector<std::string>& lines, std::string note)
{
    if (!note.empty()) lines.push_back(std::move(note));
}

}  // namespace

std::vector<std::string> ImageDeckReport(const SlideShowResult& show, int32_t slideCount, bool stopLast)
{
    std::vector<std::string> lines;
    AddNote(lines, StopsOnEverySlideNote(show, stopLast));
    AddNote(lines, ReturnTargetsNote(show));
    if (show.scaledSlides > 0) {
        lines.push_back(std::to_string(show.scaledSlides) + " of " + std::to_string(slideCount) + " slides differ from the " +
                        std::to_string(show.area.width) + " x " + std::to_string(show.area.height) +
                        " slide area and were scaled to fit it ('--size auto' takes the first slide's size)");
    }
    AddNote(lines, NarrationPlayingOnNote(show));
    return lines;
}

std::vector<std::string> PDFDeckReport(const SlideShowResult& show)
{
    std::vector<std::string> lines;
    AddNote(lines, ReturnTargetsNote(show));
    AddNote(lines, NarrationPlayingOnNote(show));
    return lines;
}
