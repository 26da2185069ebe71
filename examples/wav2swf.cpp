// wav2swf: turns a sound file (WAV, FLAC, Ogg Vorbis or MP3) into a
// one-frame SWF movie that plays it once as an event sound, compressed to
// ADPCM, and stops.
//
//   wav2swf [--bits N] [--rate HZ] [--stereo] INPUT OUTPUT.swf

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/encode/narration.h"
#include "driver/cli/optiontable.h"
#include "driver/core/error.h"
#include "hf/hfmovie.h"
#include "hf/hfsound.h"
#include "swf/faction.h"
#include "swf/fct.h"

namespace {

constexpr OptionSpec kOptions[] = {
    {"--bits", "N", "ADPCM code size, 2 to 5 bits per sample", "4"},
    {"--rate", "HZ", "5512, 11025, 22050 or 44100, for inputs that are resampled", "22050"},
    {"--stereo", "", "keep two channels of a stereo (or wider) input", "mono"},
    {"--help", "", "print this text and exit", "", true},
};

std::string UsageText()
{
    return "usage: wav2swf [--bits N] [--rate HZ] [--stereo] INPUT OUTPUT.swf\n"
           "\n"
           "Writes a one-frame SWF movie, 12 frames per second, that plays INPUT\n"
           "once as an event sound and stops. INPUT is a WAV, FLAC, Ogg Vorbis or MP3\n"
           "file. A WAV file of 8- or 16-bit PCM, mono or stereo, at about 5512, 11025,\n"
           "22050 or 44100 samples per second keeps its rate and channels; any other\n"
           "input is resampled to --rate and mixed down to mono unless --stereo.\n"
           "\n" +
           OptionHelp(kOptions) +
           "\n"
           "exit status: 0 success, 1 the input was refused or a file failed, 2 wrong command line\n";
}

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

// Whether the library's WAV reader takes the file as it stands, or refuses
// it for its structure: then it goes the library's way, report and refusal
// as they always were. Read without printing.
bool ForTheWAVReader(std::FILE* file)
{
    FWAVStreamInfo info;
    const bool accepted = FDTDefineSound::ReadWAVBlocks(file, [](const uint8_t*, uint32_t) {}, info);
    std::rewind(file);
    return accepted || !info.encodingRefused;
}

bool EndsWithWAV(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".wav";
}

}  // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    try {
        // Options may come anywhere, and "-x" is one too.
        line = ParseCommandLine(kOptions, CommandWords(argc, argv), {.prefix = "-", .anywhere = true});
    } catch (const OptionError& error) {
        if (error.kind == OptionError::Kind::kNeedsValue) {
            return Usage("option '" + error.name + "' needs a " + (error.name == "--rate" ? "sample rate" : "code size"));
        }
        if (error.kind == OptionError::Kind::kTakesNoValue) return Usage("option '" + error.name + "' takes no value");
        return Usage("unknown option '" + error.argument + "'");
    }
    if (line.ending) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    NarrationSettings settings;
    int& codeBits = settings.codeBits;
    if (const auto value = line.Value("--bits")) {
        if (value->size() != 1 || (*value)[0] < '2' || (*value)[0] > '5')
            return Usage("code size '" + *value + "' is not 2, 3, 4 or 5");
        codeBits = (*value)[0] - '0';
    }
    if (const auto value = line.Value("--rate")) {
        if (*value != "5512" && *value != "11025" && *value != "22050" && *value != "44100")
            return Usage("rate '" + *value + "' is not 5512, 11025, 22050 or 44100");
        settings.rate = static_cast<uint32_t>(std::stoul(*value));
    }
    settings.stereo = line.Has("--stereo");
    const std::vector<std::string>& names = line.arguments;
    if (names.size() != 2) return Usage("expected an input sound file and an output SWF file");
    const std::string& input = names[0];
    const std::string& output = names[1];

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(input.c_str(), "rb"));
    if (!file) return Fail("cannot open '" + input + "': " + std::strerror(errno));

    // The only character of the movie, so its DefineSound is character 1.
    std::unique_ptr<HFSound> sound;
    if (EndsWithWAV(input) && ForTheWAVReader(file.get())) {
        sound = std::make_unique<HFSound>(file.get(), codeBits);
        file.reset();
        if (sound->Refused()) return Fail("'" + input + "' refused: " + sound->Refusal());
    } else {
        file.reset();
        try {
            EncodedNarration encoded = EncodeNarration(input, settings);
            std::fputs(encoded.report.c_str(), stdout);
            sound = std::make_unique<HFSound>(1, encoded.rateCode, encoded.stereo, encoded.sampleCount,
                                              encoded.adpcm);
        } catch (const ConverterError& error) {
            return Fail(error.what());
        }
    }

    HFMovie movie;
    movie.SetFrameRate(12);
    HFFrame* frame = movie.Frame(0);
    frame->AddObject(*sound);
    auto stop = std::make_unique<FCTDoAction>();
    stop->AddAction(std::make_unique<FActionStop>());
    frame->Tags().push_back(std::move(stop));

    std::string error;
    if (!movie.WriteMovie(output, &error)) return Fail("cannot write '" + output + "': " + error);
    return 0;
}
