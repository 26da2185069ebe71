// swfinfo: prints the header of an uncompressed SWF file and, unless
// --summary is given, its tags frame by frame.
//
//   swfinfo [--summary] FILE.swf

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "swf/ftagcode.h"

namespace {

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
    const bool summary = argc == 3 && std::string(argv[1]) == "--summary";
    if (argc != 2 && !summary) {
        std::fprintf(stderr, "usage: swfinfo [--summary] FILE.swf\n");
        return 2;
    }
    const char* name = argv[argc - 1];
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
        const auto tagCode = static_cast<FTagCode>(code);
        const char* tagName = FTagName(tagCode);
        std::printf(" %s(%u)", tagName ? tagName : "Unknown", length);
        at += length;
        if (tagCode == FTagCode::End) break;
        if (tagCode == FTagCode::ShowFrame) std::printf("\nframe %u:", ++frame);
    }
    std::printf("\n");
    return at == bytes.size() ? 0 : 1;
}
