#include "tests/support/pdfmaker.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

namespace pdfmaker {
namespace {

using Digest = std::array<uint8_t, 16>;

// MD5 (RFC 1321), for the standard security handler's keys.
Digest MD5(std::string_view data)
{
    static const std::array<uint32_t, 64> sines = [] {
        std::array<uint32_t, 64> table {};
        for (size_t i = 0; i < 64; ++i)
            table[i] = static_cast<uint32_t>(std::fabs(std::sin(static_cast<double>(i + 1))) * 4294967296.0);
        return table;
    }();
    static constexpr int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    std::string message(data);
    const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
    message += '\x80';
    while (message.size() % 64 != 56) message += '\0';
    for (int i = 0; i < 8; ++i) message += static_cast<char>(bits >> (8 * i));
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t chunk = 0; chunk < message.size(); chunk += 64) {
        uint32_t words[16];
        for (int i = 0; i < 16; ++i) {
            words[i] = 0;
            for (int b = 3; b >= 0; --b)
                words[i] = words[i] << 8 | static_cast<uint8_t>(message[chunk + static_cast<size_t>(4 * i + b)]);
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d), g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d, g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d), g = (7 * i) % 16;
            }
            f += a + sines[static_cast<size_t>(i)] + words[g];
            a = d, d = c, c = b;
            const int s = shifts[i / 16][i % 4];
            b += f << s | f >> (32 - s);
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    }
    Digest digest;
    for (size_t i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

std::string RC4(std::string_view key, std::string_view data)
{
    std::array<uint8_t, 256> s;
    for (size_t i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<uint8_t>(key[i % key.size()])) % 256;
        std::swap(s[i], s[j]);
    }
    std::string out(data);
    for (size_t n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) % 256;
        j = (j + s[i]) % 256;
        std::swap(s[i], s[j]);
        out[n] = static_cast<char>(static_cast<uint8_t>(out[n]) ^ s[(s[i] + s[j]) % 256]);
    }
    return out;
}

std::string Bytes(const Digest& digest, size_t count)
{
    return std::string(reinterpret_cast<const char*>(digest.data()), count);
}

std::string Hex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex = "<";
    for (char c : bytes) {
        hex += digits[static_cast<uint8_t>(c) >> 4];
        hex += digits[static_cast<uint8_t>(c) & 15];
    }
    return hex + ">";
}

// Revision 2 of the standard security handler: 40-bit RC4.
struct Security {
    std::string key;  // 5 bytes
    std::string owner, user;  // the /O and /U entries
    int32_t permissions;

    Security(const std::string& userPassword, const std::string& ownerPassword, const std::string& fileID)
    {
        static constexpr uint8_t kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                                 0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                                 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
        const std::string padding(reinterpret_cast<const char*>(kPadding), 32);
        auto padded = [&](const std::string& password) { return (password + padding).substr(0, 32); };
        // Without a user password any viewer opens the file; the permissions
        // then say what the owner allows (here: no changes, no annotations).
        permissions = -44;
        owner = RC4(Bytes(MD5(padded(ownerPassword.empty() ? userPassword : ownerPassword)), 5), padded(userPassword));
        std::string input = padded(userPassword) + owner;
        for (int i = 0; i < 4; ++i) input += static_cast<char>(static_cast<uint32_t>(permissions) >> (8 * i));
        input += fileID;
        key = Bytes(MD5(input), 5);
        user = RC4(key, padding);
    }

    std::string Encrypt(int32_t object, std::string_view data) const
    {
        std::string input = key;
        for (int i = 0; i < 3; ++i) input += static_cast<char>(object >> (8 * i));
        input += std::string(2, '\0');  // generation 0
        return RC4(Bytes(MD5(input), key.size() + 5), data);
    }
};

std::string Number(double value, int decimals = 2)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Four decimals, so that a level such as 170 / 255 comes back as 170.
std::string Fill(double red, double green, double blue)
{
    return Number(red, 4) + " " + Number(green, 4) + " " + Number(blue, 4) + " rg\n";
}

std::string Rectangle(double x, double y, double width, double height)
{
    return Number(x) + " " + Number(y) + " " + Number(width) + " " + Number(height) + " re f\n";
}

std::string Text(const char* font, double size, double x, double y, const std::string& text)
{
    return "BT /" + std::string(font) + " " + Number(size) + " Tf " + Number(x) + " " + Number(y) + " Td (" + text +
           ") Tj ET\n";
}

struct Box {
    double x0, y0, x1, y1;
};

std::string CornerSquares(int32_t page, Box box, bool numberedCorners)
{
    if (!numberedCorners) return "";
    const Colour colour = CornerColour(page);
    const double s = kCornerSquare;
    return Fill(colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0) + Rectangle(box.x0, box.y0, s, s) +
           Rectangle(box.x1 - s, box.y0, s, s) + Rectangle(box.x0, box.y1 - s, s, s) +
           Rectangle(box.x1 - s, box.y1 - s, s, s);
}

// One slide: header band with a title, a red subtitle, bullet points, three
// flat colour blocks and a bar chart, laid out in the visible box.
std::string PageContent(int32_t page, Box box, bool numberedCorners, bool gradient, bool photo)
{
    static const char* const titles[] = {"Quarterly results", "Roadmap", "Market overview", "Customer voices",
                                         "Next steps",        "Team",    "Budget 2027",     "Questions"};
    static const char* const bullets[] = {"Revenue up in every region", "Two new products shipped",
                                          "Costs held below plan",      "Hiring on track for the year",
                                          "Support tickets down 18%",   "Partners doubled since spring"};
    const double width = box.x1 - box.x0, height = box.y1 - box.y0;
    const bool portrait = height > width;
    std::string content = "q\n";
    if (gradient) {
        content += "q " + Number(box.x0) + " " + Number(box.y0) + " " + Number(width) + " " + Number(height) +
                   " re W n /Sh0 sh Q\n";
    }
    content += Fill(0.11, 0.23, 0.45) + Rectangle(box.x0, box.y1 - 90, width, 90);
    content += Fill(1, 1, 1) + Text("F2", 40, box.x0 + 80, box.y1 - 62,
                                    "Slide " + std::to_string(page) + ": " + titles[(page - 1) % 8]);
    content += Fill(0.80, 0.05, 0.05) + Text("F1", 28, box.x0 + 80, box.y1 - 140, "Results at a glance");
    content += Fill(0.15, 0.15, 0.15);
    for (int line = 0; line < 4; ++line)
        content += Text("F1", 22, box.x0 + 70, box.y1 - 190 - 34 * line, bullets[(page + line) % 6]);

    const double blockY = portrait ? box.y0 + 440 : box.y0 + 60;
    content += Fill(0.20, 0.60, 0.30) + Rectangle(box.x0 + 48, blockY, 120, 120);
    content += Fill(0.95, 0.70, 0.10) + Rectangle(box.x0 + 178, blockY, 120, 120);
    content += Fill(0.55, 0.25, 0.65) + Rectangle(box.x0 + 308, blockY, 120, 120);

    const Box chart = portrait ? Box{box.x0 + 48, box.y0 + 60, box.x1 - 48, box.y0 + 400}
                               : Box{box.x0 + width * 0.55, box.y0 + 60, box.x1 - 60, box.y0 + height * 0.6};
    if (photo) {
        content += "q " + Number(chart.x1 - chart.x0) + " 0 0 " + Number(chart.y1 - chart.y0) + " " + Number(chart.x0) +
                   " " + Number(chart.y0) + " cm /Im0 Do Q\n";
        return content + CornerSquares(page, box, numberedCorners) + "Q\n";
    }
    const double barSpace = (chart.x1 - chart.x0 - 20) / 6;
    static const double barColours[3][3] = {{0.13, 0.47, 0.71}, {0.85, 0.33, 0.10}, {0.47, 0.67, 0.19}};
    for (int bar = 0; bar < 6; ++bar) {
        const double share = 0.2 + 0.08 * ((page * 7 + bar * 13) % 10);
        const double* colour = barColours[bar % 3];
        content += Fill(colour[0], colour[1], colour[2]) +
                   Rectangle(chart.x0 + 20 + bar * barSpace + 4, chart.y0, barSpace - 8, (chart.y1 - chart.y0) * share);
    }
    content += "0 0 0 RG 2 w " + Number(chart.x0 + 10) + " " + Number(chart.y1) + " m " + Number(chart.x0 + 10) + " " +
               Number(chart.y0) + " l " + Number(chart.x1) + " " + Number(chart.y0) + " l S\n";

    return content + CornerSquares(page, box, numberedCorners) + "Q\n";
}

// Objects numbered from 1 in the order added, with the cross-reference table
// and trailer written after them.
class Writer {
public:
    Writer() { out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"; }

    int32_t Reserve()
    {
        offsets.push_back(0);
        return static_cast<int32_t>(offsets.size());
    }

    void Object(int32_t number, const std::string& body)
    {
        offsets[static_cast<size_t>(number - 1)] = out.size();
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }

    void Stream(int32_t number, const std::string& data)
    {
        Object(number, "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    }

    std::string Finish(const std::string& trailerEntries)
    {
        const size_t xref = out.size();
        out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
        for (size_t offset : offsets) {
            char entry[21];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            out += entry;
        }
        out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R" + trailerEntries +
               " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return std::move(out);
    }

private:
    std::string out;
    std::vector<size_t> offsets;
};

}  // namespace

Colour CornerColour(int32_t page)
{
    const int32_t code = page % 64;
    return {static_cast<uint8_t>((code & 3) * 85), static_cast<uint8_t>((code >> 2 & 3) * 85),
            static_cast<uint8_t>((code >> 4 & 3) * 85)};
}

int32_t PageOfCornerColour(uint8_t red, uint8_t green, uint8_t blue)
{
    auto level = [](uint8_t value) { return (value + 42) / 85; };
    return level(red) | level(green) << 2 | level(blue) << 4;
}

std::string MakeDeck(const DeckOptions& options)
{
    Writer writer;
    const int32_t catalog = writer.Reserve(), tree = writer.Reserve();
    const int32_t regular = writer.Reserve(), bold = writer.Reserve();
    writer.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
    writer.Object(regular, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    writer.Object(bold, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");

    const std::string fileID = Bytes(MD5("corvanex deck " + std::to_string(options.pages)), 16);
    const bool encrypted = !options.userPassword.empty() || !options.ownerPassword.empty();
    const Security security(options.userPassword, options.ownerPassword, fileID);

    // Shared by every page that draws them.
    std::string extraResources;
    if (options.gradientBackground) {
        const int32_t shading = writer.Reserve();
        writer.Object(shading, "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 540 0 0] /Extend [true true] "
                               "/Function << /FunctionType 2 /Domain [0 1] /C0 [0.78 0.86 0.97] /C1 [1 1 1] /N 1 >> >>");
        extraResources += " /Shading << /Sh0 " + std::to_string(shading) + " 0 R >>";
    }
    if (!options.photoPages.empty()) {
        const int32_t image = writer.Reserve();
        const std::string& jpeg = options.photoJPEG;
        writer.Object(image, "<< /Type /XObject /Subtype /Image /Width " + std::to_string(options.photoWidth) +
                                 " /Height " + std::to_string(options.photoHeight) +
                                 " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length " +
                                 std::to_string(jpeg.size()) + " >>\nstream\n" +
                                 (encrypted ? security.Encrypt(image, jpeg) : jpeg) + "\nendstream");
        extraResources += " /XObject << /Im0 " + std::to_string(image) + " 0 R >>";
    }

    // Page objects are numbered in advance, for links to pages after the one linking.
    std::vector<int32_t> pageObjects;
    for (int32_t page = 1; page <= options.pages; ++page) pageObjects.push_back(writer.Reserve());
    std::string kids;
    for (int32_t page = 1; page <= options.pages; ++page) {
        const int32_t pageObject = pageObjects[static_cast<size_t>(page - 1)], contents = writer.Reserve();
        const bool portrait = options.portraitPages.count(page) != 0;
        const Box media = portrait ? Box{0, 0, 540, 960} : Box{0, 0, 960, 540};
        const bool cropped = options.croppedPages.count(page) != 0;
        const Box shown = cropped ? Box{media.x0 + 100, media.y0 + 100, media.x1 - 100, media.y1 - 100} : media;
        std::string entries = "/MediaBox [0 0 " + Number(media.x1) + " " + Number(media.y1) + "]";
        if (cropped)
            entries += " /CropBox [" + Number(shown.x0) + " " + Number(shown.y0) + " " + Number(shown.x1) + " " +
                       Number(shown.y1) + "]";
        if (options.rotatedPages.count(page)) entries += " /Rotate 90";
        if (const auto link = options.pageLinks.find(page);
            link != options.pageLinks.end() && link->second >= 1 && link->second <= options.pages) {
            const int32_t annotation = writer.Reserve();
            const double x0 = shown.x0 + kLinkBlockLeft, y1 = shown.y1 - kLinkBlockTop;
            writer.Object(annotation, "<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [" + Number(x0) + " " +
                                          Number(y1 - kLinkBlockSide) + " " + Number(x0 + kLinkBlockSide) + " " +
                                          Number(y1) + "] /Dest [" +
                                          std::to_string(pageObjects[static_cast<size_t>(link->second - 1)]) +
                                          " 0 R /Fit] >>");
            entries += " /Annots [" + std::to_string(annotation) + " 0 R]";
        }
        writer.Object(pageObject, "<< /Type /Page /Parent " + std::to_string(tree) + " 0 R " + entries +
                                      " /Resources << /Font << /F1 " + std::to_string(regular) + " 0 R /F2 " +
                                      std::to_string(bold) + " 0 R >>" + extraResources + " >> /Contents " +
                                      std::to_string(contents) +
                                      " 0 R >>");
        std::string content = PageContent(page, shown, options.numberedCorners, options.gradientBackground,
                                          options.photoPages.count(page) != 0 && !options.photoJPEG.empty());
        // Bytes overwritten halfway, as by a broken transfer: no PDF syntax.
        if (options.damagedPages.count(page)) content.insert(content.size() / 2, "\n\x9C\x07\xFF ] >> } endobj\n");
        writer.Stream(contents, encrypted ? security.Encrypt(contents, content) : content);
        if (!kids.empty()) kids += ' ';
        kids += std::to_string(pageObject);
        kids += " 0 R";
    }
    writer.Object(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(options.pages) + " >>");

    std::string trailer = " /ID [" + Hex(fileID) + " " + Hex(fileID) + "]";
    if (encrypted) {
        const int32_t dictionary = writer.Reserve();
        writer.Object(dictionary, "<< /Filter /Standard /V 1 /R 2 /O " + Hex(security.owner) + " /U " +
                                      Hex(security.user) + " /P " + std::to_string(security.permissions) + " >>");
        trailer += " /Encrypt " + std::to_string(dictionary) + " 0 R";
    }
    return writer.Finish(trailer);
}

std::string MakeEmptyDeck()
{
    Writer writer;
    const int32_t catalog = writer.Reserve(), tree = writer.Reserve();
    writer.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
    writer.Object(tree, "<< /Type /Pages /Kids [] /Count 0 >>");
    return writer.Finish("");
}

std::string MakePDF(const std::vector<std::string>& objects, const std::string& trailerEntries)
{
    Writer writer;
    for (const std::string& body : objects) writer.Object(writer.Reserve(), body);
    return writer.Finish(trailerEntries);
}

}  // namespace pdfmaker
