// A PDF's links in the movie: web and mail addresses (in ASCII, relative ones
// resolved against the PDF's base) and pages of the deck; everything else a
// link can do is left out with a line naming it, in both forms.

#include <gtest/gtest.h>

#ifdef CORVANEX_PDF

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/converter_run.h"
#include "support/swf_reader.h"
#include "tests/support/pdfmaker.h"

namespace {

using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

// The click actions of the link buttons (those whose only record is their
// hit state) of every frame: a GetURL's URL, or "frame N" for a GotoFrame.
std::vector<std::string> LinkTargets(const Scratch& folder, const std::string& movie)
{
    std::vector<std::string> targets;
    for (const std::vector<Tag>& frame : swftest::Frames(swftest::ParseFile((folder / movie).string()))) {
        for (const Tag& button : frame) {
            if (button.code != FTagCode::DefineButton2 || button.body.at(5) != 0x08) continue;
            const size_t at = 3 + swftest::Word(button, 3) + 4;  // the first condition's first action
            const uint8_t code = button.body.at(at);
            const size_t length = swftest::Word(button, at + 1);
            const auto body = button.body.begin() + static_cast<long>(at + 3);
            if (code == 0x81) {
                targets.push_back("frame " + std::to_string(swftest::Word(button, at + 3)));
                continue;
            }
            EXPECT_EQ(code, 0x83);
            const std::string fields(body, body + static_cast<long>(length));
            EXPECT_EQ(fields.substr(fields.find('\0')), std::string("\0_blank\0", 8));
            targets.push_back(fields.substr(0, fields.find('\0')));
        }
    }
    return targets;
}

// Two pages of 960 x 540 points, the first with these links side by side in
// rows (each 60 points square), the catalog with these entries.
std::string LinkedPDF(const std::vector<std::string>& links, const std::string& catalogEntries)
{
    const std::string content = "0 0 1 rg 0 0 960 540 re f";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R " + catalogEntries + " >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
        "",  // the first page, once its links are numbered
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 960 540] /Contents 5 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    std::string annotations;
    for (size_t n = 0; n < links.size(); ++n) {
        const size_t x = 10 + 70 * (n % 13), y = 400 - 70 * (n / 13);
        objects.push_back("<< /Type /Annot /Subtype /Link /Rect [" + std::to_string(x) + " " + std::to_string(y) +
                          " " + std::to_string(x + 60) + " " + std::to_string(y + 60) + "] " + links[n] + " >>");
        annotations += " " + std::to_string(objects.size()) + " 0 R";
    }
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 960 540] /Contents 5 0 R /Annots [" + annotations + "] >>";
    return pdfmaker::MakePDF(objects);
}

std::string URI(const std::string& uri)
{
    return "/A << /S /URI /URI (" + uri + ") >>";
}

RunResult ConvertPDF(const Scratch& folder, const std::string& form, const std::string& pdf)
{
    std::vector<std::string> arguments{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    if (!form.empty()) arguments.push_back(form);
    arguments.insert(arguments.end(), {pdf, "links.swf"});
    return folder.Convert(arguments, false);
}

TEST(PDFLinks, OnlyWebMailAndPageLinksBecomeButtonsAndTheRestAreNamedOnePageALine)
{
    Scratch folder("pdflinks");
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    const std::vector<std::string> links = {
        URI("https://example.org/caf\xE9 menu"),  // PDFDocEncoding: an e with an acute accent
        URI("notes.html"),
        URI("MAILTO:someone@example.org"),
        "/Dest [4 0 R /Fit]",
        URI("javascript:alert\\(1\\)"),
        URI(" JavaScript:alert\\(2\\)"),
        URI("data:text/html,<script>alert\\(3\\)</script>"),
        URI("file:///etc/passwd"),
        "/A << /S /Launch /F (calc.exe) >>",
        "/A << /S /GoToR /F (other.pdf) /D [0 /Fit] >>",
        "/A << /S /JavaScript /JS (app.alert\\(4\\)) >>",
        "/Dest [99 /Fit]",
        "/Dest (nowhere)",
        "/A << /S /GoTo /D [5 0 R /Fit] >>",  // the content stream
        URI("https://example.org/" + std::string(70000, 'a')),
        "/A << /S /Named /N /NextPage >>",
    };
    const std::string page = "corvanex: page 1 of the PDF 'links.pdf': ";
    const std::string safety = ": only http, https and mailto links and links to the PDF's pages are kept\n";
    const std::string otherLines =
        page + "3 links are left out (to page 100, to 'nowhere', to an object that is no page): the PDF has no such "
               "page\n" +
        page + "1 link is left out (a URI of 70020 bytes): a link's URI may have at most 8192 bytes\n";
    const struct {
        std::string catalog;
        std::vector<std::string> targets;
        std::string lines;
    } cases[] = {
        {"/URI << /Base (https://example.org/talks/deck.pdf) >>",
         {"https://example.org/caf%C3%A9%20menu", "https://example.org/talks/notes.html", "mailto:someone@example.org",
          "frame 1", "frame 1"},
         page + "7 links are left out (javascript:, data:, file:, a Launch action, ...)" + safety},
        // A base of another scheme does not make relative links scripts.
        {"/URI << /Base (javascript:alert\\(5\\);//) >>",
         {"https://example.org/caf%C3%A9%20menu", "mailto:someone@example.org", "frame 1", "frame 1"},
         page + "8 links are left out (javascript:, data:, file:, a Launch action, ...)" + safety},
        {"",
         {"https://example.org/caf%C3%A9%20menu", "mailto:someone@example.org", "frame 1", "frame 1"},
         page + "8 links are left out (a relative URI without a base, javascript:, data:, file:, ...)" + safety},
    };
    for (const auto& [catalog, targets, lines] : cases) {
        folder.Write("links.pdf", LinkedPDF(links, catalog));
        for (const std::string form : {"", "--raster"}) {
            const RunResult run = ConvertPDF(folder, form, "links.pdf");
            ASSERT_EQ(run.status, 0) << catalog << form << ": " << run.err;
            // Not a word of damage: a link to a page the PDF does not have
            // is the link's fault.
            std::string expected = lines + otherLines;
            if (form.empty()) expected += "corvanex: pages: 2 vector, 0 partly raster, 0 raster\n";
            expected += "corvanex: carried from the PDF: " + std::to_string(targets.size()) + " links\n";
            EXPECT_EQ(run.err, expected) << catalog << form;
            EXPECT_EQ(LinkTargets(folder, "links.swf"), targets) << catalog << form;
        }
    }
}

// Files joined by a tool that copies each page into a new tree and keeps the
// old one beside it: a link names the old copy of its page, which the tree
// does not hold; the old copy's own tree says which page it is.
TEST(PDFLinks, ALinkToAPageObjectOutsideTheTreeGoesToThePageItsParentsCount)
{
    Scratch folder("pdflinks-copied");
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    const std::string content = "0 0 1 rg 0 0 960 540 re f";
    const std::string page = "/Type /Page /MediaBox [0 0 960 540] /Contents 5 0 R";
    folder.Write("joined.pdf",
                 pdfmaker::MakePDF({
                     "<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                     "<< " + page + " /Parent 2 0 R /Annots [6 0 R] >>",
                     "<< " + page + " /Parent 2 0 R >>",
                     "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
                     "<< /Type /Annot /Subtype /Link /Rect [10 10 200 200] /Dest [9 0 R /XYZ null null 0] >>",
                     "<< /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 >>",  // the old tree and its pages
                     "<< " + page + " /Parent 7 0 R >>",
                     "<< " + page + " /Parent 7 0 R >>",
                 }));
    const RunResult run = ConvertPDF(folder, "", "joined.pdf");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("left out"), std::string::npos) << run.err;
    EXPECT_EQ(LinkTargets(folder, "links.swf"), std::vector<std::string>{"frame 1"});
}

}  // namespace

#endif
