// Pictures on vector pages: decoded no larger than they can show, and not at
// all when their decoding would not fit the decode budget.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <zlib.h>

#include "driver/core/backgroundjobs.h"
#include "driver/core/decodebudget.h"
#include "driver/encode/jpegencoder.h"
#include "driver/input/jpegheader.h"
#include "driver/pdf/mupdf.h"
#include "driver/pdf/rasterpages.h"
#include "driver/pdf/vectordocument.h"
#include "hf/shapetags.h"
#include "support/converter_run.h"
#include "support/hand_pdf.h"
#include "support/swf_reader.h"

using swftest::RunResult;
using swftest::Scratch;

namespace {

// 720 x 540 points onto a slide 1920 pixels wide, a pixel 20 twips.
constexpr double kTwipsPerPoint = 38400.0 / 720;

struct PDFImage {
    std::string dictionary;  // its entries but /Type, /Subtype and /Length
    std::string data;
    std::string subtype = "Image";
};

// A page of 720 x 540 points drawing the images (/I0, /I1, ...) as `content` says.
std::string WriteImagePDF(const std::string& name, const std::string& content, const std::vector<PDFImage>& images)
{
    const auto dir = std::filesystem::temp_directory_path() / "corvanex-image-tests";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".pdf")).string();
    std::string xobjects;
    std::vector<std::string> extra;
    for (size_t i = 0; i < images.size(); ++i) {
        xobjects += "/I" + std::to_string(i) + " " + std::to_string(handpdf::FirstExtraObject(1) + i) + " 0 R ";
        extra.push_back("<< /Type /XObject /Subtype /" + images[i].subtype + " " + images[i].dictionary +
                        " /Length " + std::to_string(images[i].data.size()) + " >>\nstream\n" + images[i].data +
                        "\nendstream");
    }
    handpdf::Write(path, {{content, "/XObject << " + xobjects + ">>"}}, extra);
    return path;
}

std::string Deflated(const std::string& bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
              static_cast<uLong>(bytes.size()), 9);
    out.resize(size);
    return out;
}

// An RGB Flate picture declaring `width` x `height` whose stream holds only
// its first rows (MuPDF pads the rest): the declared size is what counts.
PDFImage DeclaredFlate(int32_t width, int32_t height)
{
    std::string rows(static_cast<size_t>(width) * 3 * 4, '\0');
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<char>(i * 7);
    return {"/Width " + std::to_string(width) + " /Height " + std::to_string(height) +
                " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
            Deflated(rows)};
}

// An RGB Flate picture with all its rows, a pattern of colours.
PDFImage WholeFlate(int32_t width, int32_t height)
{
    std::string rows(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, '\0');
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<char>(i * 7 + i / 4093);
    return {"/Width " + std::to_string(width) + " /Height " + std::to_string(height) +
                " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
            Deflated(rows)};
}

// A baseline JPEG of `side` x `side` pixels, a colour ramp.
PDFImage JPEGPicture(int32_t side)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(side) * static_cast<size_t>(side) * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const size_t pixel = i / 4;
        rgba[i] = static_cast<uint8_t>(pixel % static_cast<size_t>(side));
        rgba[i + 1] = static_cast<uint8_t>(pixel / static_cast<size_t>(side));
        rgba[i + 2] = 128;
        rgba[i + 3] = 255;
    }
    const std::vector<uint8_t> jpeg =
        EncodeJPEG(rgba.data(), side, side, static_cast<size_t>(side) * 4, PixelLayout::RGBA, JPEGSettings{});
    return {"/Width " + std::to_string(side) + " /Height " + std::to_string(side) +
                " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode",
            std::string(jpeg.begin(), jpeg.end())};
}

// A JPEG whose frame says progressive, 16000 x 16000 (libjpeg would keep 1.5
// GB of coefficients to decode it at any size); its scans are a small
// baseline picture's.
PDFImage HugeProgressiveJPEG()
{
    PDFImage image = JPEGPicture(16);
    const size_t frame = image.data.find("\xFF\xC0");
    EXPECT_NE(frame, std::string::npos);
    image.data[frame + 1] = '\xC2';
    for (size_t at : {frame + 5, frame + 7}) {  // height, width
        image.data[at] = static_cast<char>(16000 >> 8);
        image.data[at + 1] = static_cast<char>(16000 & 0xFF);
    }
    const std::string sixteen = "/Width 16 /Height 16";
    image.dictionary.replace(image.dictionary.find(sixteen), sixteen.size(), "/Width 16000 /Height 16000");
    return image;
}

// A JBIG2 stream of a 60000 x 60000 page (a bitmap of 450 MB, decoded whole)
// of 24 bytes of segment data.
PDFImage HugeJBIG2()
{
    return {"/Width 60000 /Height 60000 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode",
            handpdf::JBIG2Page(60000, 60000)};
}

// A grey JPEG 2000 picture `side` pixels a side, its packets all empty.
PDFImage GreyJPX(uint32_t side)
{
    return {"/Width " + std::to_string(side) + " /Height " + std::to_string(side) +
                " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /JPXDecode",
            handpdf::GreyJPXCodestream(side)};
}

// The page's bitmap definitions: their kind and size in pixels.
struct DefinedBitmap {
    FTagCode code;
    uint32_t width = 0, height = 0;
};

std::vector<DefinedBitmap> Bitmaps(const VectorPage& page)
{
    std::vector<DefinedBitmap> found;
    for (const auto& tag : page.definitions) {
        const swftest::Tag read = shapetest::ReadTag(*tag);
        if (read.code == FTagCode::DefineBitsLossless || read.code == FTagCode::DefineBitsLossless2) {
            found.push_back({read.code, swftest::Little(read.body, 3, 2), swftest::Little(read.body, 5, 2)});
        } else if (read.code == FTagCode::DefineBitsJPEG2 || read.code == FTagCode::DefineBitsJPEG3) {
            size_t at = read.code == FTagCode::DefineBitsJPEG3 ? 6 : 2;
            // The end and start markers SWF writers put first.
            if (read.body.size() > at + 4 && read.body[at] == 0xFF && read.body[at + 1] == 0xD9) at += 4;
            const JPEGHeader header = ReadJPEGHeader(read.body.data() + at, read.body.size() - at, true);
            EXPECT_EQ(header.outcome, JPEGHeader::Outcome::kRead) << header.message;
            found.push_back({read.code, static_cast<uint32_t>(header.width), static_cast<uint32_t>(header.height)});
        }
    }
    return found;
}

VectorPage RecordPage(const std::string& path, VectorResources& resources, const VectorOptions& options = {})
{
    VectorDocument document(path);
    return document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources, options);
}

// The page recorded as the PDF form records it, its pictures decoded on
// `jobs`' worker in contexts cloned from the document's root; `late` gets
// those the worker decodes. The document is gone when this returns.
VectorPage RecordWithWorker(const std::string& path, VectorResources& resources, BackgroundJobs& jobs,
                            std::vector<LatePicture>& late)
{
    const auto root = std::make_shared<const mupdf::Root>();
    mupdf::Document document(root, path);
    VectorOptions options;
    options.encoders = &jobs;
    options.contexts = document.Contexts();
    VectorPage page;
    document.WithPage(0, [&](fz_context* ctx, fz_page* loaded) {
        page = RecordVectorPage(ctx, loaded, fz_scale(static_cast<float>(kTwipsPerPoint), static_cast<float>(kTwipsPerPoint)),
                                resources, options);
    });
    late = resources.images.CommitPage();
    return page;
}

// Each bitmap definition as written, but for its character ID.
std::vector<std::vector<uint8_t>> BitmapsWithoutIDs(const VectorPage& page)
{
    std::vector<std::vector<uint8_t>> written;
    for (const auto& tag : page.definitions) {
        swftest::Tag read = shapetest::ReadTag(*tag);
        if (read.code != FTagCode::DefineBitsLossless && read.code != FTagCode::DefineBitsLossless2 &&
            read.code != FTagCode::DefineBitsJPEG2 && read.code != FTagCode::DefineBitsJPEG3)
            continue;
        read.body.erase(read.body.begin(), read.body.begin() + 2);
        written.push_back(std::move(read.body));
    }
    return written;
}

}  // namespace

TEST(PDFImages, PicturesDecodedOnAWorkerAreThoseDecodedInPlace)
{
    // Scaled to its cap; a JPEG past its cap, encoded anew; a picture with
    // a soft mask, decoded whole; a stencil mask in a colour; a picture in an
    // indexed colour space (its pixels are its key, so it is decoded in
    // place); the first again at its size (one bitmap).
    PDFImage masked = WholeFlate(64, 64);
    masked.dictionary += " /SMask " + std::to_string(handpdf::FirstExtraObject(1) + 3) + " 0 R";
    PDFImage mask{"/Width 32 /Height 32 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode",
                  Deflated(std::string(32 * 32, '\x80'))};
    PDFImage stencil{"/Width 16 /Height 16 /ImageMask true /Filter /FlateDecode",
                     Deflated(std::string(32, '\x5A'))};
    // Four colours: (0, 120, 200), (60, 120, 160), (120, 120, 120), (180, 120, 80).
    PDFImage indexed{"/Width 8 /Height 8 /ColorSpace [/Indexed /DeviceRGB 3 <0078C83C78A0787878B47850>] "
                     "/BitsPerComponent 8 /Filter /FlateDecode",
                     Deflated(std::string(64, '\x02'))};
    const std::string path = WriteImagePDF(
        "on-a-worker",
        "q 60 0 0 30 10 10 cm /I0 Do Q q 60 0 0 60 100 100 cm /I1 Do Q q 200 0 0 200 200 200 cm /I2 Do Q "
        "q 0.8 0.2 0.1 rg 50 0 0 50 500 20 cm /I4 Do Q q 40 0 0 40 600 300 cm /I5 Do Q "
        "q 60 0 0 30 300 10 cm /I0 Do Q\n",
        {WholeFlate(2000, 1000), JPEGPicture(1200), masked, mask, stencil, indexed});
    VectorResources inPlace;
    const VectorPage expected = RecordPage(path, inPlace);
    ASSERT_EQ(Bitmaps(expected).size(), 5u);

    BackgroundJobs jobs(1);
    VectorResources resources;
    std::vector<LatePicture> late;
    const VectorPage page = RecordWithWorker(path, resources, jobs, late);
    EXPECT_EQ(late.size(), 4u);  // all but the indexed one
    for (const LatePicture& picture : late) EXPECT_EQ(picture.Said(), "");
    // Written once the document is gone: what the jobs need, they hold.
    EXPECT_EQ(BitmapsWithoutIDs(page), BitmapsWithoutIDs(expected));
    EXPECT_EQ(SharedDecodeBudget().Held(), 0u);
}

TEST(PDFImages, APictureDamagedOnAWorkerIsToldOfAndDrawnClear)
{
    // Its stream ends a third of the way through the compressed rows.
    std::string rows(64 * 64 * 3, '\0');
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<char>(i * 13);
    const std::string compressed = Deflated(rows);
    const PDFImage cut{"/Width 64 /Height 64 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode",
                       compressed.substr(0, compressed.size() / 3) + std::string(40, '\xFF')};
    const std::string path = WriteImagePDF("damaged-on-a-worker", "q 100 0 0 100 100 100 cm /I0 Do Q\n", {cut});
    BackgroundJobs jobs(1);
    VectorResources resources;
    std::vector<LatePicture> late;
    const VectorPage page = RecordWithWorker(path, resources, jobs, late);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_NE(late[0].Said(), "");
    EXPECT_EQ(Bitmaps(page).size(), 1u);

    // The converter says so, once, naming the page.
    Scratch folder("damaged-on-a-worker");
    folder.MakeDeck("unused", 0, "", "640\n480\n");
    std::filesystem::copy_file(path, folder / "cut.pdf");
    const RunResult run = folder.Convert({"cut.pdf", "cut.swf"}, false);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string told = "page 1 of the PDF 'cut.pdf' is damaged (";
    const size_t at = run.err.find(told);
    EXPECT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(told, at + 1), std::string::npos) << run.err;
}

TEST(PDFImages, AHugeFlatePictureIsDecodedToTwiceItsShownSize)
{
    // 16000 x 16000 pixels (768 MB decoded) drawn 150 points a side: 400
    // pixels of the slide, stored at 800.
    const std::string path =
        WriteImagePDF("huge-flate", "q 150 0 0 150 100 100 cm /I0 Do Q\n", {DeclaredFlate(16000, 16000)});
    VectorResources resources;
    const VectorPage page = RecordPage(path, resources);
    const std::vector<DefinedBitmap> bitmaps = Bitmaps(page);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].width, 800u);
    EXPECT_EQ(bitmaps[0].height, 800u);
    EXPECT_FALSE(page.summary.NeedsFallback());
    EXPECT_EQ(SharedDecodeBudget().Held(), 0u);  // its share given back

    // On a stage of twice the pixels, more, up to twice: a picture's work
    // (its halved decoding, 1600 x 1600 pixels and their encodings, some 75
    // MiB) takes at most two thirds of the budget.
    VectorOptions sharper;
    sharper.patchPixelsPerTwip = 2.0 / 20;
    VectorResources again;
    const std::vector<DefinedBitmap> sharp = Bitmaps(RecordPage(path, again, sharper));
    ASSERT_EQ(sharp.size(), 1u);
    EXPECT_GT(sharp[0].width, 1200u);
    EXPECT_LT(sharp[0].width, 1600u);
    EXPECT_EQ(sharp[0].width, sharp[0].height);
}

TEST(PDFImages, APictureZoomedFarPastThePageIsStoredWithinTheBudgetAndDrawnWhereItShows)
{
    // 16000 x 16000 drawn ten times the page's width: its cap of twice its
    // place is the pixels a page may have, more work than the budget holds.
    const std::string path = WriteImagePDF("zoomed-flate", "q 7200 0 0 7200 -3000 -3000 cm /I0 Do Q\n",
                                           {DeclaredFlate(16000, 16000)});
    VectorResources resources;
    const std::vector<DefinedBitmap> bitmaps = Bitmaps(RecordPage(path, resources));
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].width, bitmaps[0].height);
    // Its pixels, their straight copy and the encoding's (about 17 bytes a pixel) within the budget.
    EXPECT_LE(uint64_t{bitmaps[0].width} * bitmaps[0].height * 17, SharedDecodeBudget().Capacity());
    EXPECT_GT(bitmaps[0].width, 1000u);

    // Drawn as a picture, MuPDF decodes only the part on the page: not left out.
    Scratch folder("zoomed-flate");
    folder.MakeDeck("unused", 0, "", "640\n480\n");
    std::filesystem::copy_file(path, folder / "zoomed.pdf");
    const RunResult run = folder.Convert({"--raster", "zoomed.pdf", "raster.swf"}, false);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("left out"), std::string::npos) << run.err;
}

TEST(PDFImages, OnePictureAtTwoSizesIsTwoBitmapsAndAtOneSizeOne)
{
    const std::string path = WriteImagePDF("two-sizes",
                                           "q 60 0 0 30 10 10 cm /I0 Do Q q 240 0 0 120 100 100 cm /I0 Do Q "
                                           "q 60 0 0 30 400 10 cm /I0 Do Q\n",
                                           {DeclaredFlate(4000, 2000)});
    VectorResources resources;
    const std::vector<DefinedBitmap> bitmaps = Bitmaps(RecordPage(path, resources));
    ASSERT_EQ(bitmaps.size(), 2u);
    // 60 points: 160 pixels, stored at 320; 240 points: 1280.
    EXPECT_EQ(bitmaps[0].width, 320u);
    EXPECT_EQ(bitmaps[0].height, 160u);
    EXPECT_EQ(bitmaps[1].width, 1280u);
    EXPECT_EQ(bitmaps[1].height, 640u);
    EXPECT_EQ(resources.images.BitmapCount(), 2u);
}

TEST(PDFImages, AJPEGFarLargerThanItsPlaceIsEncodedAnewAtItsCap)
{
    // 1200 pixels a side: drawn 150 points (cap 800, its own bytes up to
    // 1600) it goes in as it is; drawn 60 points (cap 320, up to 640) it is
    // decoded to 320.
    const std::string path =
        WriteImagePDF("jpeg-caps", "q 150 0 0 150 100 100 cm /I0 Do Q q 60 0 0 60 400 100 cm /I0 Do Q\n",
                      {JPEGPicture(1200)});
    VectorResources resources;
    const std::vector<DefinedBitmap> bitmaps = Bitmaps(RecordPage(path, resources));
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].code, FTagCode::DefineBitsJPEG2);
    EXPECT_EQ(bitmaps[0].width, 1200u);
    EXPECT_EQ(bitmaps[1].width, 320u);
    EXPECT_EQ(bitmaps[1].height, 320u);
    EXPECT_EQ(resources.images.PassedThroughJPEGs(), 1u);
}

TEST(PDFImages, AJBIG2PageTooLargeToDecodeIsNotDecodedAndItsPatchLeavesItOut)
{
    const std::string path = WriteImagePDF("huge-jbig2", "q 0 0 1 rg 10 10 50 50 re f 720 0 0 540 0 0 cm /I0 Do Q\n",
                                           {HugeJBIG2()});
    VectorResources resources;
    VectorOptions options;
    options.patchFallbacks = true;
    const VectorPage page = RecordPage(path, resources, options);
    EXPECT_EQ(resources.images.BitmapCount(), 0u);
    ASSERT_EQ(page.summary.fallbacks.size(), 1u);
    EXPECT_EQ(page.summary.fallbacks[0].reason, "image that cannot be made a bitmap");
    // The patch over it is drawn, without the picture.
    EXPECT_EQ(page.summary.patches, 1u);
    EXPECT_FALSE(page.summary.NeedsFallback());

    // Both forms of the converter name it and go on.
    Scratch folder("huge-jbig2");
    folder.MakeDeck("unused", 0, "", "640\n480\n");
    std::filesystem::copy_file(path, folder / "jbig2.pdf");
    for (const std::vector<std::string>& form : {std::vector<std::string>{"jbig2.pdf", "vectors.swf"},
                                                 std::vector<std::string>{"--raster", "jbig2.pdf", "raster.swf"}}) {
        const RunResult run = folder.Convert(form, false);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("a picture of 60000 x 60000 pixels is left out: decoding it needs "), std::string::npos)
            << run.err;
    }
}

TEST(PDFImages, AProgressiveJPEGIsWeighedByItsWholeCoefficients)
{
    const std::string path =
        WriteImagePDF("huge-progressive", "q 150 0 0 150 100 100 cm /I0 Do Q\n", {HugeProgressiveJPEG()});
    VectorResources resources;
    VectorOptions options;
    options.patchFallbacks = true;
    const VectorPage page = RecordPage(path, resources, options);
    EXPECT_EQ(resources.images.BitmapCount(), 0u);
    ASSERT_EQ(page.summary.fallbacks.size(), 1u);
    EXPECT_EQ(page.summary.fallbacks[0].reason, "image that cannot be made a bitmap");
    EXPECT_EQ(page.summary.patches, 1u);
}

TEST(PDFImages, AJPEG2000PictureTooLargeToDecodeIsLeftOutBeforeThePageIsRead)
{
    // 60000 x 60000 declared, in a form and as a soft mask; a small one drawn as it is.
    const PDFImage form{"/BBox [0 0 1 1] /Resources << /XObject << /I0 5 0 R >> >>", "/I0 Do", "Form"};
    std::vector<PDFImage> images{GreyJPX(60000), GreyJPX(64), form, GreyJPX(60000)};
    PDFImage masked = GreyJPX(64);
    masked.dictionary += " /SMask 8 0 R";
    images.push_back(masked);
    const std::string path = WriteImagePDF("huge-jpx",
                                           "q 720 0 0 540 0 0 cm /I0 Do Q q 100 0 0 100 10 10 cm /I2 Do Q "
                                           "q 50 0 0 50 300 300 cm /I1 Do Q q 50 0 0 50 400 300 cm /I4 Do Q\n",
                                           images);
    VectorResources resources;
    const VectorPage page = RecordPage(path, resources);
    // The two small ones, the second without the mask it had.
    const std::vector<DefinedBitmap> bitmaps = Bitmaps(page);
    ASSERT_EQ(bitmaps.size(), 1u);  // one picture, drawn twice
    EXPECT_EQ(bitmaps[0].width, 64u);
    EXPECT_EQ(resources.images.BitmapCount(), 1u);
    EXPECT_FALSE(page.summary.NeedsFallback());

    // Both forms of the converter name it and go on.
    Scratch folder("huge-jpx");
    folder.MakeDeck("unused", 0, "", "640\n480\n");
    std::filesystem::copy_file(path, folder / "jpx.pdf");
    for (const std::vector<std::string>& form : {std::vector<std::string>{"jpx.pdf", "vectors.swf"},
                                                 std::vector<std::string>{"--raster", "jpx.pdf", "raster.swf"}}) {
        const RunResult run = folder.Convert(form, false);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("a JPEG 2000 picture of 3600000000 samples is left out"), std::string::npos) << run.err;
    }
}

TEST(PDFImages, CapsFollowThePlaceTheStageAndTheLimits)
{
    // 300 x 100 twips at a pixel a twip: twice that.
    const auto plain = PDFImageTable::StorageFor(300, 100, 1, 0, 90);
    EXPECT_EQ(plain.maxWidth, 600);
    EXPECT_EQ(plain.maxHeight, 200);
    EXPECT_EQ(plain.maxJPEGWidth, 1200);
    EXPECT_EQ(plain.maxJPEGHeight, 400);
    // --max-image-dpi's cap, when lower, holds for JPEGs too.
    const auto capped = PDFImageTable::StorageFor(300, 100, 1, 0.5, 90);
    EXPECT_EQ(capped.maxWidth, 150);
    EXPECT_EQ(capped.maxJPEGWidth, 150);
    // A place far larger than the page: within the pixels a page may have.
    const auto huge = PDFImageTable::StorageFor(1e6, 1e6, 1, 0, 90);
    EXPECT_LE(int64_t{huge.maxWidth} * huge.maxHeight, kMaxPagePixels);
    EXPECT_LE(int64_t{huge.maxJPEGWidth} * huge.maxJPEGHeight, kMaxPagePixels);
    EXPECT_EQ(huge.maxWidth, huge.maxHeight);
    // A degenerate or broken place: a pixel's worth.
    const auto flat = PDFImageTable::StorageFor(0, std::numeric_limits<double>::quiet_NaN(), 1, 0, 90);
    EXPECT_EQ(flat.maxWidth, 2);
    EXPECT_EQ(flat.maxHeight, 2);
}

#endif  // CORVANEX_PDF
