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

#include "driver/cli/optiontable.h"
#include "swf/fswfreader.h"
#include "swf/ftagcode.h"

namespace {

constexpr OptionSpec kOptions[] = {
    {"--summary", "", "print the header only, not the tags", ""},
    {"--help", "", "print this text and exit", "", true},
};

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
    // Everything is read through the bounded reader: a file's fields may claim
    // more bytes than it has.
    FSWFHeaderInfo header;
    const FSWFRead read = FReadSWFHeader(bytes, &header);
    if (read != FSWFRead::Whole) {
        std::fprintf(stderr, "swfinfo: '%s' is %s\n", name,
                     read == FSWFRead::NotSWF ? "not an uncompressed SWF file" : "truncated");
        return 1;
    }
    std::printf("%s: version %u, %u bytes (header says %u), %d x %d twips, %u frames at %u fps\n", name,
                header.version, static_cast<unsigned>(bytes.size()), header.fileLength, header.xmax, header.ymax,
                header.frameCount, header.frameRate);
    if (summary) return 0;

    uint32_t frame = 0;
    size_t at = header.tagsOffset;
    bool ended = false;
    std::printf("frame 0:");
    while (at < bytes.size()) {
        FSWFTagInfo tag;
        const FSWFRead read = FReadSWFTagHeader(bytes, at, &tag);
        if (read == FSWFRead::HeaderCutShort) break;
        const char* tagName = FTagName(static_cast<FTagCode>(tag.code));
        std::printf(" %s(%u)", tagName ? tagName : "Unknown", tag.length);
        if (read != FSWFRead::Whole) break;
        at = tag.NextOffset();
        if (static_cast<FTagCode>(tag.code) == FTagCode::End) {
            ended = true;
            break;
        }
        if (static_cast<FTagCode>(tag.code) == FTagCode::ShowFrame) std::printf("\nframe %u:", ++frame);
    }
    std::printf("\n");
    if (!ended || at != bytes.size()) {
        std::fprintf(stderr, "swfinfo: '%s' is %s\n", name, ended ? "followed by bytes after its End tag" : "truncated");
        return 1;
    }
    return 0;
}
