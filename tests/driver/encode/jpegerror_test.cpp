// libjpeg's own messages: a PDF whose JPEG picture is damaged is drawn, and
// what the converter prints is its own lines, never libjpeg's.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/encode/jpegencoder.h"
#include "support/converter_run.h"
#include "support/pdfmaker.h"

namespace {

using swftest::RunResult;
using swftest::Scratch;

// The lines of `text` that the converter did not write.
std::vector<std::string> ForeignLines(const std::string& text)
{
    std::vector<std::string> foreign;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("corvanex: ", 0) != 0) foreign.push_back(line);
    return foreign;
}

TEST(JPEGMessages, ADamagedPictureInAPDFPrintsNoLineOfLibjpegs)
{
    constexpr int32_t width = 64, height = 48;
    std::vector<uint8_t> pixels(size_t{width} * height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 7919) >> 3);
    const std::vector<uint8_t> jpeg = EncodeJPEG(pixels.data(), width, height, width * 3, PixelLayout::RGB, {});
    pdfmaker::DeckOptions options;
    options.pages = 1;
    options.photoPages = {1};
    options.photoWidth = width;
    options.photoHeight = height;
    // Cut in its scan: libjpeg warns of a premature end and decodes on.
    options.photoJPEG.assign(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2));

    Scratch folder("jpegmessages");
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    folder.Write("cut.pdf", pdfmaker::MakeDeck(options));
    for (const char* form : {"--raster", "--max-image-dpi=24"}) {
        const RunResult run = folder.Convert(
            {"--forward", "forward.jpg", "--backward", "backward.jpg", form, "cut.pdf", "cut.swf"}, false);
        EXPECT_EQ(run.status, 0) << form << ": " << run.err;
        EXPECT_EQ(ForeignLines(run.err), std::vector<std::string>{}) << form << ": " << run.err;
    }
}

}  // namespace

#endif
