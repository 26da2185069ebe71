// wav2swf: turns a RIFF WAVE file into a one-frame SWF movie that plays it
// once as an event sound, compressed to ADPCM, and stops.
//
//   wav2swf [--bits N] INPUT.wav OUTPUT.swf

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/optiontable.h"
#include "hf/hfmovie.h"
#include "hf/hfsound.h"
#include "swf/faction.h"
#include "swf/fct.h"

namespace {

constexpr OptionSpec kOptions[] = {
    {"--bits", "N", "ADPCM code size, 2 to 5 bits per sample", "4"},
    {"--help", "", "print this text and exit", "", true},
};

std::string UsageText()
{
    return "usage: wav2swf [--bits N] INPUT.wav OUTPUT.swf\n"
           "\n"
           "Writes a one-frame SWF movie, 12 frames per second, that plays INPUT.wav\n"
           "once as an event sound and stops. The WAV file holds 8- or 16-bit PCM,\n"
           "mono or stereo, at about 5512, 11025, 22050 or 44100 samples per second.\n"
           "\n" +
           OptionHelp(kOptions) +
           "\n"
           "exit status: 0 success, 1 the input was refused or a file failed, 2 wrong command line\n";
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "wav2swf: %s\n%s", problem.c_str(), UsageText().c_str());
    return kExitUsage;
}

int Fail(const std::string& message)
{
    std::fflush(stdout);  // the reader's report first, then the complaint
    std::fprintf(stderr, "wav2swf: %s\n", message.c_str());
    return kExitFailure;
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};

}  // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    try {
        // Options may come anywhere, and "-x" is one too.
        line = ParseCommandLine(kOptions, CommandWords(argc, argv), {.prefix = "-", .anywhere = true});
    } catch (const OptionError& error) {
        if (error.kind == OptionError::Kind::kNeedsValue) return Usage("option '" + error.name + "' needs a code size");
        if (error.kind == OptionError::Kind::kTakesNoValue) return Usage("option '" + error.name + "' takes no value");
        return Usage("unknown option '" + error.argument + "'");
    }
    if (line.ending) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    int codeBits = 4;
    if (const auto value = line.Value("--bits")) {
        if (value->size() != 1 || (*value)[0] < '2' || (*value)[0] > '5')
            return Usage("code size '" + *value + "' is not 2, 3, 4 or 5");
        codeBits = (*value)[0] - '0';
    }
    const std::vector<std::string>& names = line.arguments;
    if (names.size() != 2) return Usage("expected an input WAV file and an output SWF file");
    const std::string& input = names[0];
    const std::string& output = names[1];

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(input.c_str(), "rb"));
    if (!file) return Fail("cannot open '" + input + "': " + std::strerror(errno));

    // The only character of the movie, so its DefineSound is character 1.
    HFSound sound(file.get(), codeBits);
    file.reset();
    if (sound.Refused()) return Fail("'" + input + "' refused: " + sound.Refusal());

    HFMovie movie;
    movie.SetFrameRate(12);
    HFFrame* frame = movie.Frame(0);
    frame->AddObject(sound);
    auto stop = std::make_unique<FCTDoAction>();
    stop->AddAction(std::make_unique<FActionStop>());
    frame->Tags().push_back(std::move(stop));

    std::string error;
    if (!movie.WriteMovie(output, &error)) return Fail("cannot write '" + output + "': " + error);
    return 0;
}
