// Records every page of a PDF as vector pages and reports, page by page, what
// they take; with an output name, writes them as a movie of one page a frame
// (a second each) to look at in a player:
//   pdfvector deck.pdf [--width PIXELS] [--patch] [output.swf]
// --patch covers what the vector pages cannot draw with pictures of the page.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "driver/pdf/vectordocument.h"
#include "swf/fct.h"
#include "swf/fprimitives.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: pdfvector deck.pdf [--width PIXELS] [--patch] [output.swf]\n");
    return 2;
}

// An uncompressed SWF 8 file around the tags.
bool WriteMovie(const std::string& name, FSWFStream& tags, int32_t width, int32_t height, uint16_t frames)
{
    FSWFStream header;
    FRect(0, 0, width, height).Write(header);
    header.FlushBits();
    header.WriteWord(1 << 8);  // a frame a second
    header.WriteWord(frames);
    const uint32_t length = 8 + header.Size() + tags.Size();
    FSWFStream file;
    for (uint32_t byte : {0x46u, 0x57u, 0x53u, 8u}) file.WriteByte(byte);  // "FWS", version 8
    file.WriteDWord(length);
    file.Append(header);
    file.Append(tags);
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (!out) return false;
    const bool written = file.WriteToFile(out);
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input, output;
    int32_t widthPixels = 1920;
    VectorOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--patch") {
            options.patchFallbacks = true;
        } else if (argument == "--width" && i + 1 < argc) {
            widthPixels = std::atoi(argv[++i]);
            if (widthPixels < 16 || widthPixels > 8000) return Usage();
        } else if (input.empty()) {
            input = argument;
        } else if (output.empty()) {
            output = argument;
        } else {
            return Usage();
        }
    }
    if (input.empty()) return Usage();
    try {
        VectorDocument document(input);
        const Bounds first = document.PageBounds(0);
        const double width = widthPixels * double{FTwipsPerPixel};
        const double height = width * (first.ymax - first.ymin) / (first.xmax - first.xmin);
        VectorResources resources;
        std::vector<VectorPage> pages;
        uint64_t totalBytes = 0;
        double totalSeconds = 0;
        std::printf("page  edges shapes texts bitmaps objects clips   bytes   ms  fallback (patches)\n");
        for (int page = 0; page < document.PageCount(); ++page) {
            const auto start = std::chrono::steady_clock::now();
            pages.push_back(document.Record(page, document.FitTransform(page, width, height), resources, options));
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const VectorPageSummary& s = pages.back().summary;
            // Everything the page writes, its new pictures too (none over its budget).
            uint64_t bytes = 0;
            if (pages.back().sprite) {
                bytes = WrittenSize(*pages.back().sprite);
                for (auto& tag : pages.back().definitions) bytes += WrittenSize(*tag);
            }
            std::printf("%4d %6u %6u %5u %7u %7u %5u %7llu %4.0f  %s (%u)\n", page + 1, s.edges, s.shapes, s.texts,
                        s.newBitmaps, s.placements, s.clipLayers, static_cast<unsigned long long>(bytes), seconds * 1000,
                        s.fallbacks.empty() ? "-" : s.fallbacks.front().reason.c_str(), s.patches);
            totalBytes += bytes;
            totalSeconds += seconds;
        }
        const size_t glyphs = resources.fonts.GlyphCount();
        std::vector<std::unique_ptr<FDTDefineFont2>> fonts = resources.fonts.TakeFonts();
        uint64_t fontBytes = 0;
        for (auto& font : fonts) fontBytes += WrittenSize(*font);
        std::printf("pages %zu: %llu bytes (%.0f a page), fonts %zu with %zu glyphs: %llu bytes; %.0f ms a page\n",
                    pages.size(), static_cast<unsigned long long>(totalBytes),
                    static_cast<double>(totalBytes) / static_cast<double>(pages.size()), fonts.size(), glyphs,
                    static_cast<unsigned long long>(fontBytes), totalSeconds * 1000 / static_cast<double>(pages.size()));
        if (output.empty()) return 0;

        FSWFStream tags;
        FCTSetBackgroundColor(FColor(255, 255, 255)).Write(tags);
        for (auto& font : fonts) font->Write(tags);
        for (size_t i = 0; i < pages.size(); ++i) {
            // A page over its budget is recorded as nothing (the converter
            // draws it as a picture): its frame is blank.
            if (!pages[i].sprite) {
                std::fprintf(stderr, "pdfvector: page %zu is blank: %s\n", i + 1, pages[i].summary.overBudget.c_str());
                if (i > 0) FCTRemoveObject2(1).Write(tags);
                FCTShowFrame().Write(tags);
                continue;
            }
            for (auto& definition : pages[i].definitions) definition->Write(tags);
            pages[i].sprite->Write(tags);
            if (i > 0) FCTRemoveObject2(1).Write(tags);
            FCTPlaceObject2(false, false, true, false, 1, pages[i].sprite->ID(), nullptr, nullptr, 0, nullptr, 0)
                .Write(tags);
            FCTShowFrame().Write(tags);
        }
        tags.AppendTag(FTagCode::End, 0, nullptr);
        if (!WriteMovie(output, tags, static_cast<int32_t>(width), static_cast<int32_t>(height),
                        static_cast<uint16_t>(pages.size()))) {
            std::fprintf(stderr, "pdfvector: cannot write %s\n", output.c_str());
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pdfvector: %s\n", error.what());
        return 1;
    }
    return 0;
}
