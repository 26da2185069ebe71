// swfinfo: prints the header of an uncompressed SWF file and, unless
// --summary is given, its tags frame by frame.
//
//   swfinfo [--summary] FILE.swf

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "driver/optiontable.h"

namespace {

constexpr OptionSpec kOptions[] = {
    {"--summary", "", "print the header only, not the tags", ""},
    {"--help", "", "print this text and exit", "", true},
};

const std::map<unsigned, const char*> kTagNames = {
    {0, "End"}, {1, "ShowFrame"}, {2, "DefineShape"}, {4, "PlaceObject"}, {5, "RemoveObject"},
    {6, "DefineBits"}, {7, "DefineButton"}, {8, "JPEGTables"}, {9, "SetBackgroundColor"},
    {10, "DefineFont"}, {11, "DefineText"}, {12, "DoAction"}, {13, "DefineFontInfo"},
    {14, "DefineSound"}, {15, "StartSound"}, {17, "DefineButtonSound"}, {18, "SoundStreamHead"},
    {19, "SoundStreamBlock"}, {20, "DefineBitsLossless"}, {21, "DefineBitsJPEG2"},
    {22, "DefineShape2"}, {23, "DefineButtonCxform"}, {24, "Protect"}, {26, "PlaceObject2"},
    {28, "RemoveObject2"}, {32, "DefineShape3"}, {33, "DefineText2"}, {34, "DefineButton2"},
    {35, "DefineBitsJPEG3"}, {36, "DefineBitsLossless2"}, {37, "DefineEditText"},
    {39, "DefineSprite"}, {43, "FrameLabel"}, {45, "SoundStreamHead2"}, {46, "DefineMorphShape"},
    {48, "DefineFont2"}};

uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

// Reads `count` bits from the header's frame rectangle, most significant first.
uint32_t Bits(const std::vector<uint8_t>& bytes, size_t& bit, uint32_t count)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i, ++bit)
        value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* const usage = "usage: swfinfo [--summary] FILE.swf\n";
    CommandLine line;
    try {
        line = ParseCommandLine(kOptions, CommandWords(argc, argv));
    } catch (const OptionError&) {
        line.arguments.clear();  // any misuse gets the usage line
    }
    if (line.ending) {
        std::printf("%s\n%s", usage, OptionHelp(kOptions).c_str());
        return 0;
    }
    if (line.arguments.size() != 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    const bool summary = line.Has("--summary");
    const char* name = line.arguments[0].c_str();
    std::ifstream input(name, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    if (bytes.size() < 21 || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S') {
        std::fprintf(stderr, "swfinfo: '%s' is not an uncompressed SWF file\n", name);
        return 1;
    }
    size_t bit = 8 * 8;
    const uint32_t fieldBits = Bits(bytes, bit, 5);
    Bits(bytes, bit, fieldBits);
    const uint32_t width = Bits(bytes, bit, fieldBits);
    Bits(bytes, bit, fieldBits);
    const uint32_t height = Bits(bytes, bit, fieldBits);
    size_t at = (bit + 7) / 8;
    if (at + 4 > bytes.size()) {
        std::fprintf(stderr, "swfinfo: '%s' is truncated\n", name);
        return 1;
    }
    const uint32_t rate = bytes[at + 1];
    const uint32_t frames = Little(bytes, at + 2, 2);
    at += 4;
    std::printf("%s: version %u, %u bytes (header says %u), %u x %u twips, %u frames at %u fps\n", name,
                bytes[3], static_cast<unsigned>(bytes.size()), Little(bytes, 4, 4), width, height, frames, rate);
    if (summary) return 0;

    uint32_t frame = 0;
    std::printf("frame 0:");
    while (at + 2 <= bytes.size()) {
        const uint32_t header = Little(bytes, at, 2);
        const uint32_t code = header >> 6;
        uint32_t length = header & 63;
        at += 2;
        if (length == 63) {
            if (at + 4 > bytes.size()) break;
            length = Little(bytes, at, 4);
            at += 4;
        }
        const auto found = kTagNames.find(code);
        std::printf(" %s(%u)", found != kTagNames.end() ? found->second : "Unknown", length);
        at += length;
        if (code == 0) break;
        if (code == 1) std::printf("\nframe %u:", ++frame);
    }
    std::printf("\n");
    return at == bytes.size() ? 0 : 1;
}
