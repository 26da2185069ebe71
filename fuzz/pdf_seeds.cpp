// Writes the seed corpus of pdf_fuzz: small PDFs, each about one kind of
// thing a page draws, so that the fuzzer starts from every path of the PDF
// deck. Most are written object by object (byte offsets kept, content
// streams left uncompressed so that mutations reach the operators); the
// embedded-font ones are drawn with cairo, which embeds font subsets.
//
//   pdf_seeds <folder>     (fuzz/corpus/pdf)
//
// Each file is a PDF followed by the four bytes after its %%EOF that pdf_fuzz
// reads as the run's choices.

#include <cairo-pdf.h>
#include <cairo.h>
#include <openjpeg.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

// The choices pdf_fuzz reads from the last four bytes.
const std::string kSmall("\x00\xC0\x80\x00", 4);   // 272 x 136
const std::string kFullHD("\x08\x00\x00\x00", 4);  // 1920 x 1080
const std::string kRaster("\x07\x40\x40\x00", 4);  // 144 x 72, every page a picture
const std::string kCapped("\x18\x00\x00\x00", 4);  // 1920 x 1080, pictures at most 36 dpi

std::string Deflate(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9) != Z_OK)
        throw std::runtime_error("zlib failed");
    out.resize(size);
    return out;
}

std::string Stream(const std::string& dictionary, const std::string& data)
{
    return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string FlateStream(const std::string& dictionary, const std::string& data)
{
    return Stream(dictionary + " /Filter /FlateDecode", Deflate(data));
}

// Objects numbered as added; 1 is the page tree, 2 the catalog.
class Document {
public:
    Document() : objects{"", ""} {}

    int Add(const std::string& body)
    {
        objects.push_back(body);
        return static_cast<int>(objects.size());
    }
    // An object whose body is given later (for references both ways).
    int Reserve() { return Add(""); }
    void Set(int id, const std::string& body) { objects[static_cast<size_t>(id - 1)] = body; }

    // A page of `content` with `resources` (a dictionary's inside) and more
    // entries of its own; its object number.
    int Page(const std::string& content, const std::string& resources = "", const std::string& extra = "",
             const std::string& mediaBox = "[0 0 320 180]")
    {
        const int contents = Add(Stream("", content));
        const int page = Add("<< /Type /Page /Parent 1 0 R /MediaBox " + mediaBox + " /Resources << " + resources +
                             " >> /Contents " + std::to_string(contents) + " 0 R " + extra + " >>");
        pages.push_back(page);
        return page;
    }

    std::string Finish(const std::string& catalogExtra = "")
    {
        if (objects[0].empty()) {
            std::string kids;
            for (const int page : pages) kids += std::to_string(page) + " 0 R ";
            objects[0] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
        }
        objects[1] = "<< /Type /Catalog /Pages 1 0 R " + catalogExtra + " >>";
        std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        std::vector<size_t> offsets;
        for (size_t i = 0; i < objects.size(); ++i) {
            offsets.push_back(pdf.size());
            pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const size_t xref = pdf.size();
        pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (const size_t offset : offsets) {
            char entry[21];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            pdf += entry;
        }
        pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 2 0 R >>\nstartxref\n" +
               std::to_string(xref) + "\n%%EOF\n";
        return pdf;
    }

    void SetPageTree(const std::string& body) { objects[0] = body; }

private:
    std::vector<std::string> objects;
    std::vector<int> pages;
};

std::string Ref(int id)
{
    return std::to_string(id) + " 0 R";
}

// Pixels of a small ramp, `components` a pixel, 8 bits each.
std::string Ramp(int width, int height, int components)
{
    std::string pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                pixels += static_cast<char>((x * 255 / std::max(width - 1, 1) + y * 40 * c) & 0xFF);
    return pixels;
}

std::string JPEG(int width, int height, int components, J_COLOR_SPACE space)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 50, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::string pixels = Ramp(width, height, components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(
            const_cast<char*>(pixels.data() + static_cast<size_t>(info.next_scanline * width * components)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

// A JPEG 2000 codestream of a small RGB ramp.
std::string JPX(int width, int height)
{
    opj_image_cmptparm_t parameters[3] {};
    for (opj_image_cmptparm_t& p : parameters) {
        p.dx = p.dy = 1;
        p.w = static_cast<OPJ_UINT32>(width);
        p.h = static_cast<OPJ_UINT32>(height);
        p.prec = 8;
        p.sgnd = 0;
    }
    opj_image_t* image = opj_image_create(3, parameters, OPJ_CLRSPC_SRGB);
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    const std::string pixels = Ramp(width, height, 3);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < width * height; ++i) image->comps[c].data[i] = static_cast<uint8_t>(pixels[static_cast<size_t>(i * 3 + c)]);
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.numresolution = 2;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    std::string bytes;
    opj_stream_t* stream = opj_stream_default_create(OPJ_FALSE);
    opj_stream_set_user_data(stream, &bytes, nullptr);
    opj_stream_set_write_function(stream, [](void* buffer, OPJ_SIZE_T size, void* user) -> OPJ_SIZE_T {
        static_cast<std::string*>(user)->append(static_cast<const char*>(buffer), size);
        return size;
    });
    opj_stream_set_skip_function(stream, [](OPJ_OFF_T, void*) -> OPJ_OFF_T { return -1; });
    opj_stream_set_seek_function(stream, [](OPJ_OFF_T, void*) -> OPJ_BOOL { return OPJ_FALSE; });
    const bool done = opj_setup_encoder(codec, &settings, image) && opj_start_compress(codec, image, stream) &&
                      opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!done) throw std::runtime_error("openjpeg failed");
    return bytes;
}

std::string Word32(uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// An embedded JBIG2 stream: a page of `side` x `side` and one immediate
// generic region, MMR-coded, all white (every row the same as the white
// reference line: one V0 code a row).
std::string JBIG2(uint32_t side)
{
    const auto segment = [](uint32_t number, uint8_t type, const std::string& data) {
        return Word32(number) + static_cast<char>(type) + '\0' + '\x01' + Word32(static_cast<uint32_t>(data.size())) +
               data;
    };
    const std::string pageInfo = Word32(side) + Word32(side) + Word32(0) + Word32(0) + '\0' + std::string(2, '\0');
    const std::string rows((side + 7) / 8, '\xFF');
    const std::string region = Word32(side) + Word32(side) + Word32(0) + Word32(0) + '\0' + '\x01' + rows;
    return segment(0, 48, pageInfo) + segment(1, 38, region);
}

// --- the seeds -------------------------------------------------------------

std::string Paths()
{
    Document pdf;
    pdf.Page("1 0 0 rg 10 10 60 40 re f\n"
             "0 0 1 RG 0.5 g 80 10 m 140 10 l 110 60 l h B\n"
             "0 0.5 0 rg 150 10 m 150 60 200 60 200 10 c 190 40 180 30 v 170 20 160 30 y f\n"
             "0.2 0.4 0.6 0.1 k 210 10 m 260 60 l 260 10 l 210 60 l f*\n"
             "/DeviceRGB cs 0.9 0.1 0.9 sc 10 80 m 60 80 l 60 130 l h 20 90 m 40 90 l 40 110 l h b*\n"
             "/DeviceGray CS 0.3 SC 80 80 60 50 re s\n"
             "100 140 m 300 170 l S 70 150 m n\n");
    return pdf.Finish();
}

std::string Strokes()
{
    std::string content = "0 0 0 RG\n";
    for (int cap = 0; cap < 3; ++cap)
        for (int join = 0; join < 3; ++join) {
            const int x = 20 + 100 * cap, y = 20 + 50 * join;
            content += std::to_string(cap) + " J " + std::to_string(join) + " j 6 w " + std::to_string(join + 1) +
                       " M " + std::to_string(x) + " " + std::to_string(y) + " m " + std::to_string(x + 40) + " " +
                       std::to_string(y + 30) + " l " + std::to_string(x + 80) + " " + std::to_string(y) + " l S\n";
        }
    content += "0 w 1 0 0 RG 10 170 m 310 170 l S\n";                           // the thinnest line
    content += "q 2 0 0 0.5 0 0 cm 4 w 10 300 m 150 340 l S Q\n";                // stroked under a skewed matrix
    Document pdf;
    pdf.Page(content);
    return pdf.Finish();
}

std::string Dashes()
{
    Document pdf;
    pdf.Page("2 w [6 3] 0 d 10 10 m 300 10 l S\n"
             "[1] 0.5 d 10 30 m 300 30 l S\n"
             "1 J [0 6] 0 d 4 w 10 50 m 300 50 l S\n"
             "0 J [5 1 1 1] 3 d 1 w 10 70 m 80 160 220 160 300 70 c S\n"
             "[2 2] 0 d 40 90 80 60 re S\n"
             "[] 0 d 200 90 60 60 re S\n"
             "2 J 1 j [0.5 0.5] 0 d 8 w 10 170 m 310 170 l S\n");
    return pdf.Finish();
}

std::string Clips()
{
    Document pdf;
    pdf.Page("q 20 20 120 120 re W n 0 0 1 rg 0 0 320 180 re f Q\n"
             "q 160 10 m 240 170 l 300 10 l 150 120 l 310 120 l h W* n 1 0 0 rg 150 0 170 180 re f Q\n"
             "q 60 60 m 60 120 100 120 100 60 c h W n q 40 40 40 40 re W n 0 1 0 rg 0 0 320 180 re f Q Q\n");
    return pdf.Finish();
}

std::string TextClips()
{
    Document pdf;
    const int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>");
    pdf.Page("q BT /F1 60 Tf 7 Tr 10 100 Td (Clip) Tj ET 0 0 1 rg 0 0 320 180 re f Q\n"
             "BT /F1 30 Tf 4 Tr 1 0 0 rg 0 0 1 RG 10 40 Td (Fill+clip) Tj ET 0 1 0 rg 0 0 320 60 re f\n"
             "BT /F1 20 Tf 5 Tr 10 10 Td (Stroke) Tj 6 Tr (Both) Tj ET\n",
             "/Font << /F1 " + Ref(font) + " >>");
    return pdf.Finish();
}

std::string StandardFonts()
{
    Document pdf;
    const char* names[] = {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
                           "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic",
                           "Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique",
                           "Symbol", "ZapfDingbats"};
    std::string fonts, content = "BT 10 TL 10 170 Td\n";
    for (int i = 0; i < 14; ++i) {
        const std::string encoding = i < 12 ? " /Encoding /WinAnsiEncoding" : "";
        const int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /" + std::string(names[i]) + encoding + " >>");
        fonts += "/F" + std::to_string(i) + " " + Ref(font) + " ";
        content += "/F" + std::to_string(i) + " 9 Tf " + std::to_string(i % 4) + " Tr (" + names[i] + " \\(\\351\\)) Tj T*\n";
    }
    content += "ET\nBT /F0 12 Tf 0 Tr 160 150 Td 2 Tc 4 Tw 150 Tz 3 Ts (spaced out) Tj 0 Tc 0 Tw 100 Tz 0 Ts\n"
               "14 TL [(Ke) 120 (rn) -300 (ing)] TJ (next line) ' 5 1 (spaced) \" ET\n";
    const int differences = pdf.Add("<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [65 /B /C /D] >>");
    const int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding " + Ref(differences) + " >>");
    fonts += "/FD " + Ref(font);
    content += "BT /FD 14 Tf 160 40 Td (AAA) Tj ET\n";
    pdf.Page(content, "/Font << " + fonts + " >>");
    return pdf.Finish();
}

std::string Type3()
{
    Document pdf;
    // Glyph a: coloured (d0), a path; glyph b: a shape only (d1), taking the text's colour.
    const int a = pdf.Add(Stream("", "1000 0 d0 1 0 0 rg 0 0 m 500 1000 l 1000 0 l f"));
    const int b = pdf.Add(Stream("", "800 0 0 0 800 800 d1 0 0 800 800 re 200 200 400 400 re f*"));
    const int font = pdf.Add("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                             "/CharProcs << /a " + Ref(a) + " /b " + Ref(b) + " >> /Encoding << /Type /Encoding "
                             "/Differences [97 /a /b] >> /FirstChar 97 /LastChar 98 /Widths [1000 800] /Resources << >> >>");
    pdf.Page("BT /T3 40 Tf 0 0 1 rg 10 100 Td (abba) Tj 2 Tr 0 1 0 RG 10 -80 Td (ab) Tj ET",
             "/Font << /T3 " + Ref(font) + " >>");
    return pdf.Finish();
}

// A bare CFF font of four glyphs (.notdef and, by the standard charset,
// space, exclam and quotedbl: codes 32 to 34): a box, a triangle, a box with a
// hole.
std::string CFF()
{
    const auto number = [](int v) {
        if (v >= -107 && v <= 107) return std::string(1, static_cast<char>(v + 139));
        if (v >= 108 && v <= 1131) return std::string{static_cast<char>((v - 108) / 256 + 247), static_cast<char>((v - 108) % 256)};
        return std::string{static_cast<char>((-v - 108) / 256 + 251), static_cast<char>((-v - 108) % 256)};
    };
    const auto index = [](const std::vector<std::string>& items) {
        if (items.empty()) return std::string(2, '\0');  // a count of 0 and nothing more
        std::string out{static_cast<char>(items.size() >> 8), static_cast<char>(items.size()), '\x02'};  // 2-byte offsets
        size_t offset = 1;
        const auto put = [&](size_t value) { out += {static_cast<char>(value >> 8), static_cast<char>(value)}; };
        put(offset);
        for (const std::string& item : items) put(offset += item.size());
        for (const std::string& item : items) out += item;
        return out;
    };
    const auto int32 = [](uint32_t v) { return '\x1D' + Word32(v); };  // a 5-byte integer operand
    const std::string rmoveto = "\x15", rlineto = "\x05", hlineto = "\x06", vlineto = "\x07", endchar = "\x0E";
    const std::vector<std::string> glyphs = {
        endchar,
        number(100) + number(0) + rmoveto + number(500) + hlineto + number(700) + vlineto + number(-500) + hlineto + endchar,
        number(50) + number(0) + rmoveto + number(600) + number(0) + rlineto + number(-300) + number(700) + rlineto + endchar,
        number(0) + number(0) + rmoveto + number(700) + hlineto + number(700) + vlineto + number(-700) + hlineto +
            number(200) + number(-200) + rmoveto + number(-300) + vlineto + number(300) + hlineto + number(300) + vlineto +
            endchar,
    };
    const std::string privateDict = number(0) + "\x15";  // nominalWidthX 0
    const std::string header("\x01\x00\x04\x02", 4), names = index({"Box"}), strings = index({}), subrs = index({});
    const std::string charStrings = index(glyphs);
    const size_t topSize = index({std::string(17, ' ')}).size();
    const size_t charStringsAt = header.size() + names.size() + topSize + strings.size() + subrs.size();
    const size_t privateAt = charStringsAt + charStrings.size();
    const std::string top = int32(static_cast<uint32_t>(charStringsAt)) + "\x11" +
                            int32(static_cast<uint32_t>(privateDict.size())) + int32(static_cast<uint32_t>(privateAt)) + "\x12";
    return header + names + index({top}) + strings + subrs + charStrings + privateDict;
}

std::string CFFFonts()
{
    Document pdf;
    const int file = pdf.Add(FlateStream("/Subtype /Type1C", CFF()));
    const std::string descriptor = "/Type /FontDescriptor /Flags 4 /FontBBox [0 0 1000 1000] /ItalicAngle 0 /Ascent 1000 "
                                   "/Descent 0 /CapHeight 700 /StemV 80 ";
    const int simpleDescriptor = pdf.Add("<< " + descriptor + "/FontName /Box /FontFile3 " + Ref(file) + " >>");
    const int simple = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Box /FirstChar 32 /LastChar 34 "
                               "/Widths [700 700 800] /FontDescriptor " + Ref(simpleDescriptor) + " >>");
    const int cidFile = pdf.Add(FlateStream("/Subtype /CIDFontType0C", CFF()));
    const int cidDescriptor = pdf.Add("<< " + descriptor + "/FontName /Box /FontFile3 " + Ref(cidFile) + " >>");
    const int cidFont = pdf.Add("<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Box /CIDSystemInfo << /Registry (Adobe) "
                                "/Ordering (Identity) /Supplement 0 >> /DW 800 /W [1 [700 750]] /FontDescriptor " +
                                Ref(cidDescriptor) + " >>");
    const int composite = pdf.Add("<< /Type /Font /Subtype /Type0 /BaseFont /Box /Encoding /Identity-H "
                                  "/DescendantFonts [" + Ref(cidFont) + "] >>");
    pdf.Page("BT /S 40 Tf 10 120 Td ( !\"! ) Tj 1 Tr 0 0 1 RG 0 -50 Td (\"\") Tj ET\n"
             "BT /C 40 Tf 0 Tr 10 20 Td <0001000200030002> Tj 7 Tr 180 0 Td <0003> Tj ET 1 0 0 rg 180 0 140 80 re f\n",
             "/Font << /S " + Ref(simple) + " /C " + Ref(composite) + " >>");
    return pdf.Finish();
}

// Text in an embedded TrueType subset, filled, stroked and as a clip, drawn with cairo.
std::string Cairo(const std::function<void(cairo_t*)>& draw)
{
    std::string bytes;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes, 320, 180);
    cairo_pdf_surface_restrict_to_version(surface, CAIRO_PDF_VERSION_1_5);
    // A fixed date, so that the seeds are remade byte for byte.
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, "2026-01-01T00:00:00Z");
    cairo_t* cr = cairo_create(surface);
    draw(cr);
    cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return bytes;
}

std::string TrueType()
{
    return Cairo([](cairo_t* cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 28);
        cairo_set_source_rgb(cr, 0.1, 0.2, 0.6);
        cairo_move_to(cr, 10, 40);
        cairo_show_text(cr, "Slide one");
        cairo_select_font_face(cr, "Liberation Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD);
        cairo_move_to(cr, 10, 90);
        cairo_text_path(cr, "Outlined");
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        cairo_move_to(cr, 10, 150);
        cairo_set_font_size(cr, 48);
        cairo_text_path(cr, "Clip");
        cairo_clip(cr);
        cairo_pattern_t* ramp = cairo_pattern_create_linear(0, 100, 320, 180);
        cairo_pattern_add_color_stop_rgb(ramp, 0, 1, 0, 0);
        cairo_pattern_add_color_stop_rgb(ramp, 1, 0, 0, 1);
        cairo_set_source(cr, ramp);
        cairo_paint(cr);
        cairo_pattern_destroy(ramp);
    });
}

std::string FlateImages()
{
    Document pdf;
    const int rgb = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB "
                                        "/BitsPerComponent 8", Ramp(4, 4, 3)));
    const int gray = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 8 /Height 2 /ColorSpace /DeviceGray "
                                         "/BitsPerComponent 8 /Decode [1 0]", Ramp(8, 2, 1)));
    const int indexed = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace [/Indexed "
                                            "/DeviceRGB 3 <FF000000FF000000FFFFFF00>] /BitsPerComponent 2",
                                            std::string("\x1B\xE4", 2)));
    const int bits = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 8 /Height 2 /ColorSpace /DeviceGray "
                                         "/BitsPerComponent 1", std::string("\xAA\x55", 2)));
    const int deep = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB "
                                         "/BitsPerComponent 16", Ramp(4, 2, 6)));
    std::string predicted;  // PNG "Up" filter on each row of a 4 x 2 RGB picture
    for (int y = 0; y < 2; ++y) predicted += '\x02' + Ramp(4, 1, 3);
    const int png = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceRGB "
                                        "/BitsPerComponent 8 /DecodeParms << /Predictor 15 /Colors 3 /Columns 4 >>",
                                        predicted));
    // A 1 x 1 picture stretched over the page, as exporters write backgrounds.
    const int dot = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceRGB "
                                        "/BitsPerComponent 8", "\xE0\xF0\xFF"));
    pdf.Page("q 320 0 0 180 0 0 cm /Dot Do Q q 60 0 0 60 10 110 cm /Rgb Do Q q 60 0 0 30 80 110 cm /Gray Do Q\n"
             "q 60 0 0 30 150 110 cm /Idx Do Q q 60 0 0 30 220 110 cm /Bits Do Q\n"
             "q 40 0 0 40 10 10 cm /Deep Do Q q 0 40 -60 0 140 10 cm /Png Do Q\n"
             "BI /W 2 /H 2 /CS /G /BPC 8 ID \x10\x80\xC0\xFF EI\n"
             "q 30 0 0 30 200 10 cm BI /W 2 /H 2 /CS /G /BPC 8 ID \x10\x80\xC0\xFF\nEI Q\n",
             "/XObject << /Rgb " + Ref(rgb) + " /Gray " + Ref(gray) + " /Idx " + Ref(indexed) + " /Bits " + Ref(bits) +
                 " /Deep " + Ref(deep) + " /Png " + Ref(png) + " /Dot " + Ref(dot) + " >>");
    return pdf.Finish();
}

std::string JPEGImages()
{
    Document pdf;
    const int rgb = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 16 /Height 8 /ColorSpace /DeviceRGB "
                                   "/BitsPerComponent 8 /Filter /DCTDecode", JPEG(16, 8, 3, JCS_RGB)));
    const int gray = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
                                    "/BitsPerComponent 8 /Filter /DCTDecode", JPEG(8, 8, 1, JCS_GRAYSCALE)));
    const int cmyk = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceCMYK "
                                    "/BitsPerComponent 8 /Decode [1 0 1 0 1 0 1 0] /Filter /DCTDecode",
                                    JPEG(8, 8, 4, JCS_CMYK)));
    pdf.Page("q 120 0 0 60 10 110 cm /J1 Do Q q 60 0 0 60 140 110 cm /J2 Do Q q 60 0 0 60 210 110 cm /J3 Do Q\n"
             "q -80 0 0 -40 300 60 cm /J1 Do Q\n",
             "/XObject << /J1 " + Ref(rgb) + " /J2 " + Ref(gray) + " /J3 " + Ref(cmyk) + " >>");
    return pdf.Finish();
}

std::string Masks()
{
    Document pdf;
    const int stencil = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ImageMask true "
                                            "/BitsPerComponent 1", std::string("\x81\x42\x24\x18\x18\x24\x42\x81", 8)));
    const int alpha = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceGray "
                                          "/BitsPerComponent 8", Ramp(4, 4, 1)));
    const int soft = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB "
                                         "/BitsPerComponent 8 /SMask " + Ref(alpha), Ramp(4, 4, 3)));
    const int keyed = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB "
                                          "/BitsPerComponent 8 /Mask [0 80 0 255 0 255]", Ramp(4, 4, 3)));
    const int maskImage = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ImageMask true "
                                              "/BitsPerComponent 1 /Decode [1 0]", std::string("\x90\x60\x60\x90", 4)));
    const int masked = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB "
                                           "/BitsPerComponent 8 /Mask " + Ref(maskImage), Ramp(4, 4, 3)));
    pdf.Page("0.2 0.6 0.2 rg 0 0 320 180 re f 1 0 0 rg q 70 0 0 70 10 100 cm /St Do Q\n"
             "q 70 0 0 70 90 100 cm /So Do Q q 70 0 0 70 170 100 cm /Ke Do Q q 70 0 0 70 250 100 cm /Ma Do Q\n"
             "q 1 0 0 rg 300 0 0 10 10 10 cm /St Do Q\n",
             "/XObject << /St " + Ref(stencil) + " /So " + Ref(soft) + " /Ke " + Ref(keyed) + " /Ma " + Ref(masked) + " >>");
    return pdf.Finish();
}

std::string OtherCodecs()
{
    Document pdf;
    const int jbig2 = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 16 /Height 16 /ColorSpace /DeviceGray "
                                     "/BitsPerComponent 1 /Filter /JBIG2Decode", JBIG2(16)));
    const int jpx = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /Filter /JPXDecode", JPX(8, 8)));
    const int hex = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                                   "/BitsPerComponent 8 /Filter [/ASCIIHexDecode /RunLengthDecode]", "03102080F0>"));
    const int ascii85 = pdf.Add(Stream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceGray "
                                       "/BitsPerComponent 8 /Filter /ASCII85Decode", "+Q*~>"));
    pdf.Page("q 0 0 1 rg 0 0 320 180 re f Q q 80 0 0 80 10 90 cm /B2 Do Q q 80 0 0 80 100 90 cm /Jx Do Q\n"
             "q 80 0 0 80 190 90 cm /Hx Do Q q 80 0 0 40 10 10 cm /A8 Do Q\n",
             "/XObject << /B2 " + Ref(jbig2) + " /Jx " + Ref(jpx) + " /Hx " + Ref(hex) + " /A8 " + Ref(ascii85) + " >>");
    return pdf.Finish();
}

std::string Shadings()
{
    Document pdf;
    const std::string blueToRed = "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 1] /C1 [1 0 0] /N 1 >>";
    const int axial = pdf.Add("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Extend [true true] "
                              "/Function " + blueToRed + " >>");
    const int stitched = pdf.Add("<< /ShadingType 3 /ColorSpace /DeviceRGB /Coords [50 50 5 60 60 40] /Extend [false true] "
                                 "/Function << /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] "
                                 "/Functions [" + blueToRed + " << /FunctionType 2 /Domain [0 1] /C0 [0 1 0] /C1 [1 1 0] /N 2 >>] >> >>");
    const int calculator = pdf.Add(Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]",
                                          "{ 2 copy mul 3 1 roll exch }"));
    const int function = pdf.Add("<< /ShadingType 1 /ColorSpace /DeviceRGB /Domain [0 1 0 1] /Matrix [60 0 0 60 0 0] "
                                 "/Function " + Ref(calculator) + " >>");
    std::string triangles;  // flag, x, y (16 bits), r, g, b (8 bits)
    const auto vertex = [&](int flag, int x, int y, int r, int g, int b) {
        triangles += static_cast<char>(flag);
        triangles += {static_cast<char>(x >> 8), static_cast<char>(x), static_cast<char>(y >> 8), static_cast<char>(y)};
        triangles += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
    };
    vertex(0, 0, 0, 255, 0, 0), vertex(0, 65535, 0, 0, 255, 0), vertex(0, 0, 65535, 0, 0, 255);
    vertex(1, 65535, 65535, 255, 255, 0);
    const int mesh = pdf.Add(Stream("/ShadingType 4 /ColorSpace /DeviceRGB /BitsPerCoordinate 16 /BitsPerComponent 8 "
                                    "/BitsPerFlag 8 /Decode [0 60 0 60 0 1 0 1 0 1]", triangles));
    std::string patch(1, '\0');  // a Coons patch: flag, 12 points (8-bit coordinates), 4 colours
    for (int point : {0, 0, 0, 20, 0, 40, 0, 60, 20, 60, 40, 60, 60, 60, 60, 40, 60, 20, 60, 0, 40, 10, 20, 0})
        patch += static_cast<char>(point * 4);
    for (int colour : {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0}) patch += static_cast<char>(colour);
    const int coons = pdf.Add(Stream("/ShadingType 6 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 "
                                     "/BitsPerFlag 8 /Decode [0 64 0 64 0 1 0 1 0 1]", patch));  // 60 points a side
    const int pattern = pdf.Add("<< /Type /Pattern /PatternType 2 /Shading " + Ref(axial) + " /Matrix [1 0 0 1 200 0] >>");
    const int tile = pdf.Add(Stream("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] "
                                    "/XStep 12 /YStep 12 /Resources << >>", "1 0 0 rg 0 0 5 5 re f 0 0 1 rg 5 5 5 5 re f"));
    pdf.Page("q 10 110 60 60 re W n 1 0 0 1 10 110 cm /Ax sh Q\n"
             "q 80 110 60 60 re W n 1 0 0 1 80 110 cm /Ra sh Q\n"
             "q 1 0 0 1 150 110 cm 0 0 60 60 re W n /Fn sh Q\n"
             "q 1 0 0 1 220 110 cm /Tr sh Q q 1 0 0 1 10 10 cm /Co sh Q\n"
             "/Pattern cs /P0 scn 200 10 50 50 re f /P1 scn 260 10 50 50 re f\n",
             "/Shading << /Ax " + Ref(axial) + " /Ra " + Ref(stitched) + " /Fn " + Ref(function) + " /Tr " + Ref(mesh) +
                 " /Co " + Ref(coons) + " >> /Pattern << /P0 " + Ref(pattern) + " /P1 " + Ref(tile) + " >>");
    return pdf.Finish();
}

std::string Transparency()
{
    Document pdf;
    std::string states, content = "0 0 1 rg 0 0 160 180 re f\n";
    const char* modes[] = {"Normal", "Multiply", "Screen", "Overlay", "Darken", "Lighten", "ColorDodge", "ColorBurn",
                           "HardLight", "SoftLight", "Difference", "Exclusion", "Hue", "Saturation", "Color", "Luminosity"};
    for (int i = 0; i < 16; ++i) {
        const int state = pdf.Add("<< /Type /ExtGState /BM /" + std::string(modes[i]) + " /ca 0.8 >>");
        states += "/B" + std::to_string(i) + " " + Ref(state) + " ";
        content += "q /B" + std::to_string(i) + " gs 1 0.5 0 rg " + std::to_string(10 + (i % 8) * 38) + " " +
                   std::to_string(10 + (i / 8) * 50) + " 30 40 re f Q\n";
    }
    const int half = pdf.Add("<< /Type /ExtGState /ca 0.5 /CA 0.3 >>");
    states += "/Half " + Ref(half);
    content += "q /Half gs 0 1 0 rg 8 w 0 0 1 RG 20 120 280 40 re B Q\n";
    pdf.Page(content, "/ExtGState << " + states + " >>");
    return pdf.Finish();
}

std::string SoftMasks()
{
    Document pdf;
    const int ramp = pdf.Add("<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 320 0] /Function << "
                             "/FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >>");
    const int luminosity = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 320 180] /Group << /S /Transparency "
                                          "/CS /DeviceGray >> /Resources << /Shading << /R " + Ref(ramp) + " >> >>",
                                          "/R sh"));
    const int shape = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 320 180] /Group << /S /Transparency >>",
                                     "0 g 100 40 120 100 re f"));
    const int byLuminosity = pdf.Add("<< /Type /ExtGState /SMask << /S /Luminosity /G " + Ref(luminosity) +
                                     " /BC [0] >> >>");
    const int byAlpha = pdf.Add("<< /Type /ExtGState /SMask << /S /Alpha /G " + Ref(shape) + " >> >>");
    const int none = pdf.Add("<< /Type /ExtGState /SMask /None >>");
    const int translucent = pdf.Add("<< /Type /ExtGState /ca 0.5 >>");
    const int knockout = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 320 180] /Group << /S /Transparency "
                                        "/K true /I true >> /Resources << /ExtGState << /T " + Ref(translucent) + " >> >>",
                                        "/T gs 1 0 0 rg 20 20 100 100 re f 0 0 1 rg 70 60 100 100 re f"));
    const int group = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 320 180] /Group << /S /Transparency "
                                     "/I true >> /Resources << /ExtGState << /T " + Ref(translucent) + " >> >>",
                                     "/T gs 0 1 0 rg 190 20 100 100 re f 1 1 0 rg 230 60 60 100 re f"));
    pdf.Page("q /L gs 1 0 0 rg 0 0 320 90 re f Q q /A gs 0 0 1 rg 0 90 320 90 re f /N gs 0 1 1 rg 0 170 20 10 re f Q\n"
             "/K Do /G Do\n",
             "/ExtGState << /L " + Ref(byLuminosity) + " /A " + Ref(byAlpha) + " /N " + Ref(none) +
                 " >> /XObject << /K " + Ref(knockout) + " /G " + Ref(group) + " >>");
    return pdf.Finish();
}

std::string Forms()
{
    Document pdf;
    const int inner = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 20 20] /Matrix [1 0 0 1 5 5]",
                                     "0 0 1 rg 0 0 30 30 re f"));  // drawn past its box: clipped to it
    const int outer = pdf.Add(Stream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Matrix [0.7 0.7 -0.7 0.7 50 0] "
                                     "/Resources << /XObject << /I " + Ref(inner) + " >> >>",
                                     "1 0 0 rg 0 0 60 60 re f /I Do q 2 0 0 2 30 30 cm /I Do Q"));
    pdf.Page("/O Do q 1 0 0 1 150 20 cm /O Do Q q 0.5 0 0 -0.5 250 160 cm /O Do Q",
             "/XObject << /O " + Ref(outer) + " >>");
    return pdf.Finish();
}

// Pages that come on by each transition style, some staying a while: the
// frames between pages, their masks, moves and timers.
std::string Transitions()
{
    Document pdf;
    const char* const entries[] = {
        "",
        "/Trans << /S /Fade /D 0.5 >>",
        "/Trans << /S /Wipe /Di 90 >> /Dur 1",
        "/Trans << /S /Split /Dm /V /M /I >>",
        "/Trans << /S /Blinds /D 0.25 >>",
        "/Trans << /S /Box /M /O /D 0.25 >> /Dur 0",
        "/Trans << /S /Push /Di 270 /D 0.25 >>",
        "/Trans << /S /Uncover /D 0.25 >>",
        "/Trans << /S /Fly /Di /None /D 0.25 >>",
        "/Trans << /S /Glitter /Di 315 /D 0.25 >>",
    };
    int shade = 0;
    for (const char* extra : entries) pdf.Page("0." + std::to_string(shade++) + " g 0 0 320 180 re f", "", extra);
    return pdf.Finish();
}

std::string Links()
{
    Document pdf;
    const int second = pdf.Reserve();
    const auto link = [&](const std::string& rect, const std::string& action) {
        return pdf.Add("<< /Type /Annot /Subtype /Link /Rect [" + rect + "] /Border [0 0 0] " + action + " >>");
    };
    const int links[] = {
        link("10 10 60 60", "/A << /S /URI /URI (https://example.com/a\\(b\\) c) >>"),
        link("70 10 120 60", "/A << /S /URI /URI (javascript:alert\\(1\\)) >>"),
        link("130 10 180 60", "/A << /S /URI /URI (mailto:someone@example.com) >>"),
        link("190 10 240 60", "/Dest [" + Ref(second) + " /XYZ 0 180 0]"),
        link("250 10 300 60", "/A << /S /Launch /F (calc.exe) >>"),
        link("10 70 60 120", "/A << /S /GoToR /F (other.pdf) /D [0 /Fit] >>"),
        link("70 70 120 120", "/Dest /Second"),
        link("130 70 180 120", "/A << /S /URI /URI (relative/page.html) >>"),
        link("190 70 240 120", "/A << /S /URI /URI <68747470733A2F2FC3A9> >>"),
    };
    std::string annotations;
    for (const int id : links) annotations += Ref(id) + " ";
    const int first = pdf.Page("0.8 g 0 0 320 180 re f", "", "/Annots [" + annotations + "]");
    (void)first;
    const int back = pdf.Add("<< /Type /Annot /Subtype /Link /Rect [0 0 320 180] /A << /S /GoTo /D [" +
                             Ref(first) + " /Fit] >> >>");
    const int contents = pdf.Add(Stream("", "0 0 1 rg 0 0 320 180 re f"));
    pdf.Set(second, "<< /Type /Page /Parent 1 0 R /MediaBox [0 0 320 180] /Contents " + Ref(contents) +
                        " /Annots [" + Ref(back) + "] >>");
    pdf.SetPageTree("<< /Type /Pages /Kids [" + Ref(first) + " " + Ref(second) + "] /Count 2 >>");
    return pdf.Finish("/Names << /Dests << /Names [(Second) [" + Ref(second) + " /Fit]] >> >> "
                      "/URI << /Base (https://example.org/) >>");
}

std::string Rotated()
{
    Document pdf;
    const std::string arrow = "1 0 0 rg 10 10 m 100 10 l 100 30 l 130 0 l 100 -30 l 100 -10 l 10 -10 l h f 0 0 1 rg 0 0 20 20 re f";
    pdf.Page("1 0 0 1 0 90 cm " + arrow, "", "/Rotate 90");
    pdf.Page("1 0 0 1 0 90 cm " + arrow, "", "/Rotate 180 /CropBox [20 20 300 160]");
    pdf.Page("1 0 0 1 0 90 cm " + arrow, "", "/Rotate -90", "[-100 -50 220 130]");
    pdf.Page("1 0 0 1 0 90 cm " + arrow, "", "/Rotate 45 /UserUnit 2");
    return pdf.Finish();
}

// A page tree of two levels whose pages take their box and resources from it.
std::string InheritedTree()
{
    Document pdf;
    const int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    const int inner = pdf.Reserve();
    const int contents = pdf.Add(Stream("", "BT /F 24 Tf 10 10 Td (inherited) Tj ET"));
    const int empty = pdf.Add(Stream("", ""));
    const int a = pdf.Add("<< /Type /Page /Parent " + Ref(inner) + " /Contents " + Ref(contents) + " >>");
    const int b = pdf.Add("<< /Type /Page /Parent " + Ref(inner) + " /Contents [" + Ref(empty) + " " + Ref(contents) + "] >>");
    const int c = pdf.Add("<< /Type /Page /Parent 1 0 R >>");  // no content at all
    pdf.Set(inner, "<< /Type /Pages /Parent 1 0 R /Kids [" + Ref(a) + " " + Ref(b) + "] /Count 2 >>");
    pdf.SetPageTree("<< /Type /Pages /Kids [" + Ref(inner) + " " + Ref(c) + "] /Count 3 /MediaBox [0 0 200 100] "
                    "/Resources << /Font << /F " + Ref(font) + " >> >> >>");
    return pdf.Finish();
}

// Damage MuPDF repairs or draws around: offsets that point nowhere, a stream
// longer than its /Length says, bytes that are no operators, a cut end.
std::string Damaged()
{
    Document pdf;
    pdf.Page("1 0 0 rg 10 10 100 100 re f \x01\x02 garbage ) ] >> 5 5 5 Tj 0 0 1 rg 120 10 100 100 re f");
    pdf.Page("0 1 0 rg 10 10 m 100 100 l 200");  // an operand left without an operator
    pdf.Page("q q q q 0 g BT /Missing 12 Tf (no font) Tj ET /NoSuch Do /NoShading sh Q Q");
    std::string bytes = pdf.Finish();
    const size_t at = bytes.find("startxref\n") + 10;
    bytes.replace(at, bytes.find('\n', at) - at, "123");  // no cross-reference table there: the file is repaired
    const size_t length = bytes.find("/Length ") + 8;
    bytes.replace(length, bytes.find(' ', length) - length, "9");  // the first stream says it is shorter
    return bytes;
}

std::string Truncated()
{
    std::string bytes = Paths();
    return bytes.substr(0, bytes.size() * 2 / 3);
}

// A page that stretches a small picture over a large stage and draws shapes
// far beyond the page: the scales and coordinates records must hold.
std::string Stretched()
{
    Document pdf;
    const int strip = pdf.Add(FlateStream("/Type /XObject /Subtype /Image /Width 1 /Height 4 /ColorSpace /DeviceRGB "
                                          "/BitsPerComponent 8", Ramp(1, 4, 3)));
    pdf.Page("q 320 0 0 180 0 0 cm /S Do Q 1 0 0 rg 1000000000 1000000000 m -1000000000 0 l 0 -1000000000 l f\n"
             "0 0 1 RG 1 w [0.5 0.5] 0 d 0 90 m 320 90 l S\n",
             "/XObject << /S " + Ref(strip) + " >>");
    return pdf.Finish();
}

// Dashes far shorter than a pixel: each dash an edge, unless the recorder
// bounds them (ten lines took minutes; one line gigabytes).
std::string DenseDashes()
{
    Document pdf;
    std::string content = "1 w [0.01] 0 d\n";
    for (int line = 0; line < 10; ++line)
        content += "10 " + std::to_string(10 + 16 * line) + " m 310 " + std::to_string(10 + 16 * line) + " l S\n";
    content += "[0.001] 0 d 0 0 m 320 180 l S\n";
    pdf.Page(content);
    return pdf.Finish();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pdf_seeds <folder>\n");
        return 2;
    }
    const fs::path folder(argv[1]);
    fs::create_directories(folder);
    struct Seed {
        const char* name;
        std::function<std::string()> make;
        const std::string& choices;
    };
    const Seed seeds[] = {
        {"paths", Paths, kSmall},
        {"paths-fullhd", Paths, kFullHD},
        {"strokes", Strokes, kFullHD},
        {"dashes", Dashes, kSmall},
        {"dashes-dense", DenseDashes, kFullHD},
        {"clips", Clips, kSmall},
        {"text-clips", TextClips, kFullHD},
        {"standard-fonts", StandardFonts, kSmall},
        {"standard-fonts-raster", StandardFonts, kRaster},
        {"type3", Type3, kSmall},
        {"truetype", TrueType, kFullHD},
        {"cff", CFFFonts, kSmall},
        {"images-flate", FlateImages, kFullHD},
        {"images-flate-raster", FlateImages, kRaster},
        {"images-dct", JPEGImages, kCapped},
        {"images-masks", Masks, kSmall},
        {"images-jbig2-jpx", OtherCodecs, kSmall},
        {"shadings", Shadings, kFullHD},
        {"shadings-raster", Shadings, kRaster},
        {"transparency", Transparency, kSmall},
        {"soft-masks", SoftMasks, kFullHD},
        {"forms", Forms, kSmall},
        {"links", Links, kSmall},
        {"transitions", Transitions, kSmall},
        {"rotated", Rotated, kSmall},
        {"inherited-tree", InheritedTree, kSmall},
        {"damaged", Damaged, kSmall},
        {"truncated", Truncated, kSmall},
        {"stretched", Stretched, kFullHD},
    };
    for (const Seed& seed : seeds) {
        const std::string bytes = seed.make() + seed.choices;
        std::ofstream(folder / seed.name, std::ios::binary) << bytes;
        std::printf("%-24s %6zu bytes\n", seed.name, bytes.size());
    }
    return 0;
}
