// PDFs that attack the converter's PDF form, one a case, for the benchmark
// that holds every page to its bounds (bench/hostile-bench): each is small on
// disk and asks for far more time or memory than a page may take.
//
//   makehostile FOLDER           writes every case as FOLDER/<case>.pdf
//   makehostile --list           the cases, one a line
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/hand_pdf.h"

namespace {

using handpdf::Form;
using handpdf::Page;

const std::string kFont = "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";

std::string Repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

// `levels` forms, each drawing the one below `fanOut` times; the lowest draws `leaf`.
std::string NestedForms(int levels, int fanOut, const std::string& leaf)
{
    const int first = handpdf::FirstExtraObject(1);
    std::vector<std::string> forms{Form(leaf)};
    for (int level = 1; level < levels; ++level)
        forms.push_back(Form(Repeat("/X Do 0.9 0 0 0.9 2 2 cm\n", fanOut),
                             "/XObject << /X " + std::to_string(first + level - 1) + " 0 R >>"));
    return handpdf::PDF({{"/X Do\n", "/XObject << /X " + std::to_string(first + levels - 1) + " 0 R >>"}}, forms);
}

std::string Squares(int count, const std::string& before, const std::string& resources)
{
    std::string content = before;
    for (int i = 0; i < count; ++i) {
        const int column = i % 100, row = i / 100;
        content += std::to_string(5 + column * 7.1) + " " + std::to_string(5 + (row % 75) * 7.1) + " 5 5 re f\n";
    }
    return handpdf::PDF({{content, resources}});
}

// A page covered by one picture of the given dictionary entries and stream.
std::string Picture(const std::string& entries, const std::string& data)
{
    const std::string image = "<< /Type /XObject /Subtype /Image " + entries + " /Length " +
                              std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    return handpdf::PDF({{"q 700 0 0 520 10 10 cm /Im Do Q\n", "/XObject << /Im 5 0 R >>"}}, {image});
}

// An RGB image of `side` x `side` pixels of one colour, compressed with
// zlib in pieces so that its pixels are never held whole.
std::string FlatePicture(int side)
{
    z_stream zip{};
    deflateInit(&zip, 9);
    std::string out;
    std::vector<unsigned char> row(static_cast<size_t>(side) * 3, 0x80);
    std::vector<unsigned char> buffer(1 << 16);
    for (int y = 0; y <= side; ++y) {
        const bool last = y == side;
        zip.next_in = last ? nullptr : row.data();
        zip.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            zip.next_out = buffer.data();
            zip.avail_out = static_cast<uInt>(buffer.size());
            deflate(&zip, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - zip.avail_out);
        } while (zip.avail_out == 0);
    }
    deflateEnd(&zip);
    return Picture("/Width " + std::to_string(side) + " /Height " + std::to_string(side) +
                       " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
                   out);
}

std::string Star(int points)
{
    std::string content = "0 0 1 rg 610 270 m\n";
    for (int i = 1; i <= points; ++i) {
        const double angle = 2 * M_PI * ((points - 1) / 2.0) * i / points;
        content += std::to_string(360 + 250 * std::cos(angle)) + " " + std::to_string(270 + 250 * std::sin(angle)) + " l\n";
    }
    return handpdf::PDF({{content + "f\n", ""}});
}

std::string ManyPages(int count)
{
    // One content stream for every page, so the file stays a few MB.
    std::string kids;
    for (int i = 0; i < count; ++i) kids += std::to_string(4 + i) + " 0 R ";
    const std::string content = "0 0 1 rg 10 10 50 50 re f\n";
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>",
                                     "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                                         "endstream"};
    for (int i = 0; i < count; ++i)
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 720 540] /Contents 3 0 R >>");
    return pdfmaker::MakePDF(objects);
}

const std::map<std::string, std::function<std::string()>>& Cases()
{
    static const std::map<std::string, std::function<std::string()>> cases{
        // A 1 x 1 background stretched over a 16:9 page, a 2 x 1 strip
        // across it (each pixel 960 stage pixels wide at 1920 x 1080) and a
        // 2 x 2 picture a third of the page wide.
        {"stretched", [] {
             Page page{"q 960 0 0 540 0 0 cm BI /W 1 /H 1 /CS /RGB /BPC 8 ID \x20\x60\xC0 EI Q\n"
                       "q 960 0 0 40 0 0 cm BI /W 2 /H 1 /CS /G /BPC 8 ID \x10\xF0 EI Q\n"
                       "q 300 0 0 300 500 100 cm BI /W 2 /H 2 /CS /G /BPC 8 ID \x10\x50\xA0\xF0 EI Q\n",
                       ""};
             page.mediaBox = "0 0 960 540";
             return handpdf::PDF({page});
         }},
        // A line to 10^31 points in a form drawn a thousand times.
        {"far-edges", [] {
             const int form = handpdf::FirstExtraObject(1);
             return handpdf::PDF({{Repeat("/X Do\n", 1000), "/XObject << /X " + std::to_string(form) + " 0 R >>"}},
                                 {Form("0 0 m 1" + std::string(31, '0') + " 5 l 0 10 l f\n")});
         }},
        {"dashes", [] {
             std::string content = "[0.001] 0 d 1 w\n";
             for (int i = 0; i < 10; ++i)
                 content += "10 " + std::to_string(20 + 50 * i) + " m 710 " + std::to_string(20 + 50 * i) + " l S\n";
             return handpdf::PDF({{content, ""}});
         }},
        {"star-4001", [] { return Star(4001); }},
        {"nested-forms", [] { return NestedForms(10, 10, "0 0 5 5 re f\n"); }},
        {"deep-forms", [] { return NestedForms(100, 1, "0 1 0 rg 0 0 10 10 re f\n"); }},
        {"blend-1000", [] { return Squares(1000, "/B gs 0 1 0 rg\n", "/ExtGState << /B << /BM /Multiply >> >>"); }},
        {"blend-10000", [] { return Squares(10000, "/B gs 0 1 0 rg\n", "/ExtGState << /B << /BM /Multiply >> >>"); }},
        {"group-100000", [] {
             return Squares(100000, "/A gs 1 0 0 rg\n", "/ExtGState << /A << /ca 0.5 >> >>");
         }},
        {"flate-16000", [] { return FlatePicture(16000); }},
        {"jbig2-60000", [] {
             return Picture("/Width 60000 /Height 60000 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode",
                            handpdf::JBIG2Page(60000, 60000));
         }},
        {"jpx-60000", [] {
             return Picture("/Width 60000 /Height 60000 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /JPXDecode",
                            handpdf::GreyJPXCodestream(60000));
         }},
        {"long-uri", [] {
             Page page{"0 0 1 rg 100 100 200 100 re f\n", ""};
             page.entries = "/Annots [5 0 R]";
             return handpdf::PDF({page}, {"<< /Type /Annot /Subtype /Link /Rect [100 100 300 200] /A << /S /URI /URI "
                                          "(https://example.org/" + std::string(70000, 'a') + ") >> >>"});
         }},
        {"pages-65534", [] { return ManyPages(65534); }},
        {"count-2000000000", [] {
             std::string pdf = handpdf::PDF({{"0 0 1 rg 10 10 50 50 re f\n", ""}});
             const size_t count = pdf.find("/Count 1");
             pdf.replace(count, 8, "/Count 2000000000");  // offsets after it move: the reader repairs them
             return pdf;
         }},
    };
    return cases;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makehostile FOLDER | --list\n");
        return 2;
    }
    if (std::string(argv[1]) == "--list") {
        for (const auto& [name, make] : Cases()) std::printf("%s\n", name.c_str());
        return 0;
    }
    std::filesystem::create_directories(argv[1]);
    for (const auto& [name, make] : Cases()) {
        const std::string path = (std::filesystem::path(argv[1]) / (name + ".pdf")).string();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) {
            std::perror(path.c_str());
            return 1;
        }
        const std::string bytes = make();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return 0;
}
