// Office decks through the real binary: the PDF LibreOffice makes goes through
// the PDF form with its options, its messages name the deck, the kept PDF is
// an output like the movie. First with a stand-in that hands over a PDF made
// here, then, where it is installed, with LibreOffice itself.

#include <gtest/gtest.h>

#ifdef CORVANEX_PDF
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/office/childprogram.h"
#include "driver/office/officepdf.h"
#include "support/converter_run.h"
#include "support/environment_set.h"
#include "support/swf_reader.h"
#include "tests/support/pdfmaker.h"

namespace {

namespace fs = std::filesystem;
using swftest::EnvironmentSet;
using swftest::Listing;
using swftest::RunResult;
using swftest::Scratch;

// A folder with the button images, its own TMPDIR, and a stand-in for
// LibreOffice that hands over `made.pdf` from the folder.
class OfficeFolder {
public:
    explicit OfficeFolder(const std::string& name)
        : folder(name), temporary(name + "-tmp"), tmpdir("TMPDIR", temporary.Path().string()),
          program(kOfficeProgramVariable, (folder / "soffice").string())
    {
        folder.MakeDeck("unused", 0);
        folder.Write("talk.pptx", "PK\x03\x04 a deck");
        folder.Write("soffice", "#!/bin/sh\nwhile [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; shift; done\n"
                                "cp '" + (folder / "made.pdf").string() + "' \"$out/talk.pdf\"\n");
        fs::permissions(folder / "soffice", fs::perms::owner_all);
    }

    RunResult Convert(std::vector<std::string> arguments) const
    {
        std::vector<std::string> all{"--forward", "forward.jpg", "--backward", "backward.jpg"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const RunResult run = folder.Convert(all, false);
        EXPECT_EQ(Listing(temporary.Path()), std::set<std::string>{}) << run.err;
        return run;
    }

    Scratch folder;
    Scratch temporary;

private:
    EnvironmentSet tmpdir;
    EnvironmentSet program;
};

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(OfficeShow, ThePDFItMakesGoesThroughThePDFFormWithItsOptions)
{
    OfficeFolder office("office-show");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.damagedPages = {2};
    const std::string made = pdfmaker::MakeDeck(options);
    office.folder.Write("made.pdf", made);
    office.folder.Write("talk.stp", "0\n2\n");  // beside the deck, as beside a PDF: stops on frames 2 and 0
    const RunResult run = office.Convert({"--raster", "--keep-pdf", "kept.pdf", "talk.pptx", "talk.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    const swftest::Movie movie = swftest::ParseFile((office.folder / "talk.swf").string());
    EXPECT_EQ(movie.ShowFrames(), 3u + 2u);
    const std::vector<std::vector<swftest::Tag>> frames = swftest::Frames(movie);
    std::vector<size_t> stops;
    for (size_t frame = 0; frame < 3; ++frame) {
        stops.push_back(static_cast<size_t>(std::count_if(frames[frame].begin(), frames[frame].end(), [](const auto& tag) {
            return tag.code == FTagCode::DoAction;
        })));
    }
    EXPECT_EQ(stops, (std::vector<size_t>{1, 0, 1}));
    EXPECT_EQ(swftest::Slurp(office.folder / "kept.pdf"), made);
    // Named after the deck, never after the PDF's passing name.
    EXPECT_NE(run.err.find("corvanex: page 2 of the PDF of 'talk.pptx' is damaged ("), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("/proc/"), std::string::npos) << run.err;
}

TEST(OfficeShow, TheKeptPDFIsAnOutputWrittenOnlyWithTheMovie)
{
    OfficeFolder office("office-kept");
    office.folder.Write("made.pdf", pdfmaker::MakeEmptyDeck());
    RunResult run = office.Convert({"--keep-pdf", "kept.pdf", "talk.pptx", "talk.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: the PDF of 'talk.pptx' has no pages\n");
    EXPECT_FALSE(fs::exists(office.folder / "kept.pdf") || fs::exists(office.folder / "talk.swf"));

    // Never over an input: refused when the input is opened, before it is read.
    pdfmaker::DeckOptions options;
    options.pages = 2;
    office.folder.Write("made.pdf", pdfmaker::MakeDeck(options));
    office.folder.Write("talk.stp", "0\n");
    run = office.Convert({"--keep-pdf", "talk.stp", "talk.pptx", "talk.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "corvanex: the kept PDF 'talk.stp' would overwrite the stop-point file 'talk.stp'\n");
    EXPECT_EQ(swftest::Slurp(office.folder / "talk.stp"), "0\n");
    run = office.Convert({"--keep-pdf", "forward.jpg", "talk.pptx", "talk.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.find("corvanex: the kept PDF 'forward.jpg' would overwrite the "), 0u) << run.err;
    // Nor where it cannot be written, found before LibreOffice runs.
    run = office.Convert({"--keep-pdf", "no/such/folder/kept.pdf", "talk.pptx", "talk.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find("corvanex: cannot write 'no/such/folder/kept.pdf': "), 0u) << run.err;
}

// LibreOffice itself: a few seconds a run, so two runs.
bool HasLibreOffice()
{
    const char* path = std::getenv("PATH");
    return !FindProgram("soffice", path ? path : "").empty() || !FindProgram("libreoffice", path ? path : "").empty();
}

// Two slides, one coloured block each, the first coming in by a fade and
// the second by a wipe from the left.
const char* const kTwoSlides = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:smil="urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="PM1">
   <style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm"
    fo:margin-right="0cm" fo:page-width="28cm" fo:page-height="15.75cm" style:print-orientation="landscape"/>
  </style:page-layout>
  <style:style style:name="fade" style:family="drawing-page">
   <style:drawing-page-properties draw:fill="solid" draw:fill-color="#ffffff" presentation:transition-speed="medium"
    smil:type="fade" smil:subtype="crossfade"/>
  </style:style>
  <style:style style:name="wipe" style:family="drawing-page">
   <style:drawing-page-properties draw:fill="solid" draw:fill-color="#ffffff" presentation:transition-speed="medium"
    smil:type="barWipe" smil:subtype="leftToRight" smil:direction="forward"/>
  </style:style>
  <style:style style:name="red" style:family="graphic">
   <style:graphic-properties draw:stroke="none" draw:fill="solid" draw:fill-color="#c00000"/>
  </style:style>
  <style:style style:name="blue" style:family="graphic">
   <style:graphic-properties draw:stroke="none" draw:fill="solid" draw:fill-color="#2040c0"/>
  </style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Default" style:page-layout-name="PM1" draw:style-name="fade"/>
 </office:master-styles>
 <office:body>
  <office:presentation>
   <draw:page draw:name="one" draw:style-name="fade" draw:master-page-name="Default">
    <draw:rect draw:style-name="red" svg:x="2cm" svg:y="2cm" svg:width="10cm" svg:height="6cm"/>
   </draw:page>
   <draw:page draw:name="two" draw:style-name="wipe" draw:master-page-name="Default">
    <draw:rect draw:style-name="blue" svg:x="14cm" svg:y="6cm" svg:width="10cm" svg:height="6cm"/>
   </draw:page>
  </office:presentation>
 </office:body>
</office:document>
)";

TEST(OfficeShow, LibreOfficeMakesTheDeckAShowWithItsTransitionsInThePDF)
{
    if (!HasLibreOffice()) GTEST_SKIP() << "no LibreOffice (soffice or libreoffice on PATH; Debian's libreoffice-impress)";
    Scratch folder("office-real");
    Scratch temporary("office-real-tmp");
    const EnvironmentSet tmpdir("TMPDIR", temporary.Path().string());
    const EnvironmentSet unnamed(kOfficeProgramVariable, std::nullopt);
    folder.MakeDeck("unused", 0);
    folder.Write("two.fodp", kTwoSlides);
    RunResult run = folder.Convert({"--forward", "forward.jpg", "--backward", "backward.jpg", "--keep-pdf", "two.pdf",
                                    "two.fodp", "two.swf"},
                                   false);
    ASSERT_EQ(run.status, 0) << run.err;
    // The first slide's transition has no slide before it to leave.
    EXPECT_EQ(run.err, "corvanex: pages: 2 vector, 0 partly raster, 0 raster\n"
                       "corvanex: carried from the PDF: 1 transition (1 wipe)\n");
    const swftest::Movie movie = swftest::ParseFile((folder / "two.swf").string());
    // The wipe's frames come before the second slide's own, at 24 a second.
    EXPECT_EQ(movie.frameRate, 24u);
    EXPECT_GT(movie.ShowFrames(), 2u + 2u + 12u);
    // A 28 x 15.75 cm page at 96 dpi: 1058 x 595 pixels, and the band for the buttons.
    EXPECT_EQ(movie.xmax, 1058 * 20);
    EXPECT_EQ(movie.ymax, 595 * 20 + 800);
    const std::string pdf = swftest::Slurp(folder / "two.pdf");
    EXPECT_EQ(Count(pdf, "/Trans"), 2u);
    EXPECT_EQ(Count(pdf, "/S/Wipe"), 1u);
    EXPECT_EQ(Listing(temporary.Path()), std::set<std::string>{});

    // A zip of garbage where a presentation's parts should be.
    folder.Write("bad.pptx", std::string("PK\x03\x04", 4) + std::string(2000, '\x5A'));
    run = folder.Convert({"--forward", "forward.jpg", "--backward", "backward.jpg", "bad.pptx", "bad.swf"}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: the presentation 'bad.pptx' is damaged: LibreOffice cannot open it\n");
    EXPECT_FALSE(fs::exists(folder / "bad.swf"));
    EXPECT_EQ(Listing(temporary.Path()), std::set<std::string>{});
}

}  // namespace
#endif
