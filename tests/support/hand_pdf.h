#pragma once

// PDFs written object by object, for tests that need what no drawing library
// writes: a form inside itself, a line to 10^30, a dash of a thousandth of a
// point. Page i's content stream and resources are given; further objects
// are numbered after the pages' (FirstExtraObject).

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/pdfmaker.h"

namespace handpdf {

struct Page {
    std::string content;
    std::string resources = {};  // the resources dictionary's entries
    std::string mediaBox = "0 0 720 540";
    std::string entries = {};  // more of the page dictionary's entries ("/Annots [5 0 R]")
};

// Objects 1 and 2 are the catalogue and the page tree, then each page and its
// content stream: the first extra object's number.
inline int FirstExtraObject(size_t pages) { return 3 + 2 * static_cast<int>(pages); }

inline std::string PDF(const std::vector<Page>& pages, const std::vector<std::string>& extra = {})
{
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) +
                                         " >>"};
    for (size_t i = 0; i < pages.size(); ++i) {
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [" + pages[i].mediaBox + "] /Contents " +
                          std::to_string(4 + 2 * i) + " 0 R /Resources << " + pages[i].resources + " >> " +
                          pages[i].entries + " >>");
        objects.push_back("<< /Length " + std::to_string(pages[i].content.size()) + " >>\nstream\n" +
                          pages[i].content + "endstream");
    }
    objects.insert(objects.end(), extra.begin(), extra.end());
    return pdfmaker::MakePDF(objects);
}

inline void Write(const std::string& path, const std::vector<Page>& pages, const std::vector<std::string>& extra = {})
{
    std::ofstream(path, std::ios::binary) << PDF(pages, extra);
}

// A form XObject's dictionary and stream.
inline std::string Form(const std::string& content, const std::string& resources = "",
                        const std::string& bbox = "0 0 720 540")
{
    return "<< /Type /XObject /Subtype /Form /BBox [" + bbox + "] /Resources << " + resources + " >> /Length " +
           std::to_string(content.size()) + " >>\nstream\n" + content + "endstream";
}

// A JBIG2 stream of a `width` x `height` page holding one 8 x 1 generic
// region, MMR-coded: 24 bytes of segment data, whatever the page's size.
inline std::string JBIG2Page(uint32_t width, uint32_t height)
{
    const auto u32 = [](uint32_t v) {
        std::string bytes;
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((v >> shift) & 0xFF);
        return bytes;
    };
    const auto segment = [&](uint32_t number, char type, const std::string& body) {
        // No segments referred to, page 1.
        return u32(number) + type + std::string("\0\1", 2) + u32(static_cast<uint32_t>(body.size())) + body;
    };
    // Width, height, resolutions; flags and striping.
    const std::string page = u32(width) + u32(height) + u32(0) + u32(0) + std::string(3, '\0');
    // Its place, the combination operator; MMR; one row of V0, then the end of block.
    const std::string region =
        u32(8) + u32(1) + u32(0) + u32(0) + '\0' + '\1' + std::string("\x80\x00\x10\x01", 4);
    return segment(0, 48, page) + segment(1, 38, region) + segment(2, 49, "");  // page, immediate region, end
}

// A bare JPEG 2000 codestream of one grey tile `side` pixels a side whose
// packets are all empty (OpenJPEG decodes them as black).
inline std::string GreyJPXCodestream(uint32_t side)
{
    std::string data = std::string("\xFF\x4F", 2);
    auto u16 = [&](uint32_t v) { data += static_cast<char>(v >> 8), data += static_cast<char>(v & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
    u16(0xFF51), u16(41), u16(0);             // SIZ
    u32(side), u32(side), u32(0), u32(0);      // the image
    u32(side), u32(side), u32(0), u32(0);      // one tile
    u16(1), data += std::string("\x07\x01\x01", 3);  // one 8-bit component
    u16(0xFF52), u16(12), data += std::string("\x00\x00", 2), u16(1), data += std::string("\x00\x05\x04\x04\x00\x01", 6);
    u16(0xFF5C), u16(19), data += '\x40', data += std::string(16, '\x40');  // no quantisation
    u16(0xFF90), u16(10), u16(0), u32(12 + 2 + 16), data += std::string("\x00\x01", 2);
    u16(0xFF93), data += std::string(16, '\0');
    u16(0xFFD9);
    return data;
}

}  // namespace handpdf
