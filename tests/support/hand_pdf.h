#pragma once

// PDFs written object by object, for tests that need what no drawing library
// writes: a form inside itself, a line to 10^30, a dash of a thousandth of a
// point. Page i's content stream and resources are given; further objects
// are numbered after the pages' (FirstExtraObject).

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    for (size_t i = 0; i < pages.size(); ++i) {
        object("<< /Type /Page /Parent 2 0 R /MediaBox [" + pages[i].mediaBox + "] /Contents " +
               std::to_string(4 + 2 * i) + " 0 R /Resources << " + pages[i].resources + " >> " + pages[i].entries +
               " >>");
        object("<< /Length " + std::to_string(pages[i].content.size()) + " >>\nstream\n" + pages[i].content +
               "endstream");
    }
    for (const std::string& body : extra) object(body);
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
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

}  // namespace handpdf
