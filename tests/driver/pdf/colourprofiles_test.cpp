// Pictures in ICC-based colour spaces are shown in sRGB: the profiles are
// made here with lcms2, and the expected colours are what lcms2 gives for them.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <lcms2.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/mupdf.h"
#include "driver/pdf/vectordocument.h"
#include "hf/shapetags.h"
#include "support/converter_run.h"
#include "support/hand_pdf.h"
#include "support/swf_reader.h"

using swftest::RunResult;
using swftest::Scratch;

namespace {

using RGB = std::array<int, 3>;

struct ProfileClose {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileClose>;

std::string Saved(const Profile& profile)
{
    cmsUInt32Number size = 0;
    EXPECT_TRUE(cmsSaveProfileToMem(profile.get(), nullptr, &size));
    std::string bytes(size, '\0');
    EXPECT_TRUE(cmsSaveProfileToMem(profile.get(), bytes.data(), &size));
    return bytes;
}

cmsToneCurve* SRGBCurve()
{
    const cmsFloat64Number curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, curve);
}

// sRGB's tone curve and white with its red and green primaries swapped: red
// in this space is sRGB's green, unmistakably.
std::string SwappedRGBProfile()
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curve = SRGBCurve();
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return Saved(profile);
}

std::string SRGBProfile() { return Saved(Profile(cmsCreate_sRGBProfile())); }

// Grey without a tone curve: a mid grey of it is lighter in sRGB.
std::string LinearGreyProfile()
{
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    const Profile profile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(linear);
    return Saved(profile);
}

// A CMYK printing profile whose inks are not what their names say: cyan
// takes green away, magenta blue, yellow red (through sRGB into Lab).
int SampleInks(const cmsUInt16Number in[], cmsUInt16Number out[], void* toLab)
{
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double rgb[3] = {(1 - y) * (1 - k), (1 - c) * (1 - k), (1 - m) * (1 - k)};
    cmsCIELab lab;
    cmsDoTransform(toLab, rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

std::string OddInksCMYKProfile()
{
    const Profile srgb(cmsCreate_sRGBProfile());
    const Profile labSpace(cmsCreateLab4Profile(nullptr));
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, labSpace.get(), TYPE_Lab_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), 4.3);
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, SampleInks, toLab, 0);
    // A table between curves (straight ones): the form an A-to-B tag has.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, pipeline);
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "odd inks");
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    return Saved(profile);
}

// What lcms2 makes of `in` (channels of the profile's space) in sRGB, as the
// converter asks it: relative colorimetric, black point compensated.
RGB InSRGB(const std::string& profileBytes, const std::vector<uint8_t>& in)
{
    const Profile profile(cmsOpenProfileFromMem(profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size())));
    const bool grey = cmsGetColorSpace(profile.get()) == cmsSigGrayData;
    const bool cmyk = cmsGetColorSpace(profile.get()) == cmsSigCmykData;
    cmsToneCurve* curve = SRGBCurve();
    const Profile target(grey ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : cmsCreate_sRGBProfile());
    cmsFreeToneCurve(curve);
    cmsHTRANSFORM transform =
        cmsCreateTransform(profile.get(), grey ? TYPE_GRAY_8 : cmyk ? TYPE_CMYK_8 : TYPE_RGB_8, target.get(),
                           grey ? TYPE_GRAY_8 : TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
    uint8_t out[3] = {};
    cmsDoTransform(transform, in.data(), out, 1);
    cmsDeleteTransform(transform);
    return grey ? RGB{out[0], out[0], out[0]} : RGB{out[0], out[1], out[2]};
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

// Four blocks of 8 x 8 pixels side by side, each one colour (`channels` a pixel).
constexpr int kBlocks = 4;
std::string BlockRows(const std::vector<std::vector<uint8_t>>& colours)
{
    std::string rows;
    for (int y = 0; y < 8; ++y)
        for (const auto& colour : colours)
            for (int x = 0; x < 8; ++x) rows.append(colour.begin(), colour.end());
    return rows;
}

const std::vector<std::vector<uint8_t>> kRGBBlocks{{255, 0, 0}, {200, 120, 40}, {30, 60, 200}, {128, 128, 128}};
const std::vector<std::vector<uint8_t>> kGreyBlocks{{0}, {64}, {128}, {230}};
const std::vector<std::vector<uint8_t>> kCMYKBlocks{{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {40, 80, 120, 20}};

struct Picture {
    std::string dictionary;  // its entries but /Type, /Subtype and /Length
    std::string data;
};

// A Flate picture of the blocks in `space` (a colour space, or a name of a device space).
Picture Blocks(const std::string& space, const std::vector<std::vector<uint8_t>>& colours)
{
    return {"/Width 32 /Height 8 /ColorSpace " + space + " /BitsPerComponent 8 /Filter /FlateDecode",
            Deflated(BlockRows(colours))};
}

// The RGB blocks as a baseline JPEG at full quality, no subsampling.
Picture JPEGBlocks(const std::string& space)
{
    std::vector<uint8_t> rgba;
    for (const char c : BlockRows(kRGBBlocks)) {
        rgba.push_back(static_cast<uint8_t>(c));
        if (rgba.size() % 4 == 3) rgba.push_back(255);
    }
    JPEGSettings settings;
    settings.quality = 100;
    const std::vector<uint8_t> jpeg = EncodeJPEG(rgba.data(), 32, 8, 32 * 4, PixelLayout::RGBA, settings);
    return {"/Width 32 /Height 8 /ColorSpace " + space + " /BitsPerComponent 8 /Filter /DCTDecode",
            std::string(jpeg.begin(), jpeg.end())};
}

std::string Stream(const std::string& dictionary, const std::string& data)
{
    return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// `pages` pages of 720 x 540 points drawing picture i as `content` says (/I0,
// /I1, ...); the profiles are objects of their own, referred to as `{P0}`,
// `{P1}`, ... in the pictures.
std::string WritePDF(const std::string& name, const std::string& content, std::vector<Picture> pictures,
                     const std::vector<Picture>& profiles, size_t pages = 1)
{
    const auto dir = std::filesystem::temp_directory_path() / "corvanex-colour-tests";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".pdf")).string();
    const int first = handpdf::FirstExtraObject(pages);
    std::vector<std::string> extra;
    std::string xobjects;
    for (size_t i = 0; i < pictures.size(); ++i) {
        std::string& dictionary = pictures[i].dictionary;
        for (size_t p = 0; p < profiles.size(); ++p) {
            const std::string mark = "{P" + std::to_string(p) + "}";
            const std::string reference = std::to_string(first + static_cast<int>(pictures.size() + p)) + " 0 R";
            for (size_t at = dictionary.find(mark); at != std::string::npos; at = dictionary.find(mark))
                dictionary.replace(at, mark.size(), reference);
        }
        xobjects += "/I" + std::to_string(i) + " " + std::to_string(first + static_cast<int>(i)) + " 0 R ";
        extra.push_back(Stream("/Type /XObject /Subtype /Image " + dictionary, pictures[i].data));
    }
    for (const Picture& profile : profiles) extra.push_back(Stream(profile.dictionary, profile.data));
    handpdf::Write(path, std::vector<handpdf::Page>(pages, {content, "/XObject << " + xobjects + ">>"}), extra);
    return path;
}

// A profile stream of `n` channels.
Picture WithN(int n, const std::string& bytes) { return {"/N " + std::to_string(n), bytes}; }

// The stored bitmaps of a recorded page (or a movie), as straight RGB rows.
struct Bitmap {
    FTagCode code = FTagCode::End;
    int32_t width = 0, height = 0;
    std::vector<RGB> pixels;
    RGB At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Bitmap Decoded(const swftest::Tag& tag)
{
    Bitmap bitmap;
    bitmap.code = tag.code;
    if (tag.code != FTagCode::DefineBitsLossless && tag.code != FTagCode::DefineBitsLossless2) return bitmap;
    const bool alpha = tag.code == FTagCode::DefineBitsLossless2;
    const uint32_t format = tag.body[2];
    bitmap.width = static_cast<int32_t>(swftest::Little(tag.body, 3, 2));
    bitmap.height = static_cast<int32_t>(swftest::Little(tag.body, 5, 2));
    const size_t pixels = static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height);
    if (format == 5) {
        const std::vector<uint8_t> raw = swftest::Inflate({tag.body.begin() + 7, tag.body.end()}, pixels * 4 + 16);
        for (size_t i = 0; i < pixels; ++i) bitmap.pixels.push_back({raw[i * 4 + 1], raw[i * 4 + 2], raw[i * 4 + 3]});
        return bitmap;
    }
    EXPECT_EQ(format, 3u);
    const size_t entries = size_t{tag.body[7]} + 1, entry = alpha ? 4 : 3;
    const size_t stride = (static_cast<size_t>(bitmap.width) + 3) & ~size_t{3};
    const std::vector<uint8_t> raw =
        swftest::Inflate({tag.body.begin() + 8, tag.body.end()}, entries * entry + stride * static_cast<size_t>(bitmap.height) + 16);
    for (int32_t y = 0; y < bitmap.height; ++y)
        for (int32_t x = 0; x < bitmap.width; ++x) {
            const uint8_t* colour = &raw[raw[entries * entry + static_cast<size_t>(y) * stride + static_cast<size_t>(x)] * entry];
            bitmap.pixels.push_back({colour[0], colour[1], colour[2]});
        }
    return bitmap;
}

struct Recorded {
    std::vector<Bitmap> bitmaps;
    VectorPage page;
    size_t passedThroughJPEGs = 0;
};

// The page recorded as vectors onto a slide 1920 pixels wide.
Recorded Record(const std::string& path)
{
    VectorResources resources;
    VectorDocument document(path);
    Recorded recorded;
    recorded.page = document.Record(0, Affine{38400.0 / 720, 0, 0, 38400.0 / 720, 0, 0}, resources);
    for (const auto& tag : recorded.page.definitions) {
        const swftest::Tag read = shapetest::ReadTag(*tag);
        if (read.code == FTagCode::DefineBitsLossless || read.code == FTagCode::DefineBitsLossless2 ||
            read.code == FTagCode::DefineBitsJPEG2 || read.code == FTagCode::DefineBitsJPEG3)
            recorded.bitmaps.push_back(Decoded(read));
    }
    recorded.passedThroughJPEGs = resources.images.PassedThroughJPEGs();
    return recorded;
}

// The blocks' colours in a 32 x 8 bitmap of them.
std::vector<RGB> BlockColours(const Bitmap& bitmap)
{
    EXPECT_EQ(bitmap.width, 32);
    EXPECT_EQ(bitmap.height, 8);
    std::vector<RGB> colours;
    if (bitmap.pixels.size() != 32 * 8) return colours;
    for (int block = 0; block < kBlocks; ++block) colours.push_back(bitmap.At(4 + 8 * block, 4));
    return colours;
}

std::vector<RGB> Expected(const std::string& profile, const std::vector<std::vector<uint8_t>>& colours)
{
    std::vector<RGB> expected;
    for (const auto& colour : colours) expected.push_back(InSRGB(profile, colour));
    return expected;
}

std::vector<RGB> AsRGB(const std::vector<std::vector<uint8_t>>& colours)
{
    std::vector<RGB> rgb;
    for (const auto& c : colours) rgb.push_back({c[0], c[0 + (c.size() > 1)], c[0 + 2 * (c.size() > 1)]});
    return rgb;
}

// Each picture drawn 160 x 40 points, one under the other: stored at its own 32 x 8 pixels.
std::string Draw(size_t pictures)
{
    std::string content;
    for (size_t i = 0; i < pictures; ++i)
        content += "q 160 0 0 40 20 " + std::to_string(20 + 60 * i) + " cm /I" + std::to_string(i) + " Do Q\n";
    return content;
}

}  // namespace

// An RGB picture in a profile not sRGB's comes out as lcms2 converts it;
// in sRGB's own profile, or in a device space, as it is.
TEST(ColourProfiles, RGBPicturesAreStoredInSRGB)
{
    const std::string swapped = SwappedRGBProfile();
    const std::string path = WritePDF("rgb", Draw(4),
                                      {Blocks("[/ICCBased {P0}]", kRGBBlocks), Blocks("[/ICCBased {P1}]", kRGBBlocks),
                                       Blocks("/DeviceRGB", kRGBBlocks),
                                       // Its base's profile for an indexed one.
                                       {"/Width 32 /Height 8 /ColorSpace [/Indexed [/ICCBased {P0}] 3 <ff0000c87828"
                                        "1e3cc8808080>] /BitsPerComponent 8 /Filter /FlateDecode",
                                        Deflated(BlockRows({{0}, {1}, {2}, {3}}))}},
                                      {WithN(3, swapped), WithN(3, SRGBProfile())});
    const Recorded recorded = Record(path);
    // The indexed picture is the first one's pixels, the device one the sRGB one's.
    ASSERT_EQ(recorded.bitmaps.size(), 2u);
    const std::vector<RGB> converted = BlockColours(recorded.bitmaps[0]);
    EXPECT_EQ(converted, Expected(swapped, kRGBBlocks));
    // Red in the swapped space is sRGB's green.
    ASSERT_FALSE(converted.empty());
    EXPECT_LT(converted[0][0], 40);
    EXPECT_GT(converted[0][1], 230);
    EXPECT_EQ(BlockColours(recorded.bitmaps[1]), AsRGB(kRGBBlocks));
    EXPECT_FALSE(recorded.page.summary.NeedsFallback());
}

// Grey stays grey, lighter where the profile has no tone curve; CMYK inks
// are the profile's, not MuPDF's naive ones.
TEST(ColourProfiles, GreyAndCMYKPicturesAreStoredInSRGB)
{
    const std::string grey = LinearGreyProfile(), cmyk = OddInksCMYKProfile();
    const std::string path = WritePDF("grey-cmyk", Draw(2),
                                      {Blocks("[/ICCBased {P0}]", kGreyBlocks), Blocks("[/ICCBased {P1}]", kCMYKBlocks)},
                                      {WithN(1, grey), WithN(4, cmyk)});
    const Recorded recorded = Record(path);
    ASSERT_EQ(recorded.bitmaps.size(), 2u);
    const std::vector<RGB> greys = BlockColours(recorded.bitmaps[0]);
    EXPECT_EQ(greys, Expected(grey, kGreyBlocks));
    ASSERT_EQ(greys.size(), 4u);
    EXPECT_GT(greys[2][0], 160);  // linear 50 %
    const std::vector<RGB> inks = BlockColours(recorded.bitmaps[1]);
    const std::vector<RGB> expected = Expected(cmyk, kCMYKBlocks);
    ASSERT_EQ(inks.size(), expected.size());
    // The profile's table is interpolated by lcms2 at a precision of its own.
    for (size_t i = 0; i < inks.size(); ++i)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(inks[i][c], expected[i][c], 1) << "block " << i;
    // Full cyan takes green away here: magenta, where MuPDF alone draws cyan.
    EXPECT_GT(inks[0][0], 200);
    EXPECT_LT(inks[0][1], 60);
    EXPECT_GT(inks[0][2], 200);
}

// A profile lcms2 refuses, one of the wrong number of channels, or one over
// the length a profile may have, leaves the picture as MuPDF draws it, and the
// page is recorded as any other.
TEST(ColourProfiles, ProfilesNotUsedLeaveThePictureAsItWas)
{
    const std::string swapped = SwappedRGBProfile();
    const std::string truncated = swapped.substr(0, 200);
    const std::string overlong = swapped + std::string(ColourManagedPictures::kMostProfileBytes, '\0');
    const std::string path = WritePDF(
        "unused-profiles", Draw(5),
        {Blocks("[/ICCBased {P0}]", kRGBBlocks), Blocks("[/ICCBased {P1}]", kRGBBlocks),
         Blocks("[/ICCBased {P2}]", kRGBBlocks), Blocks("[/ICCBased {P3}]", kRGBBlocks),
         Blocks("/DeviceRGB", kRGBBlocks)},
        // The overlong one is small in the file: its length counts as decoded.
        {WithN(3, std::string(3000, 'x')), WithN(3, truncated), {"/N 3 /Filter /FlateDecode", Deflated(overlong)},
         WithN(3, OddInksCMYKProfile())});
    const Recorded recorded = Record(path);
    ASSERT_EQ(recorded.bitmaps.size(), 1u);
    EXPECT_EQ(BlockColours(recorded.bitmaps[0]), AsRGB(kRGBBlocks));
    EXPECT_FALSE(recorded.page.summary.NeedsFallback());
    EXPECT_TRUE(recorded.page.summary.damage.empty()) << recorded.page.summary.damage;
}

// A JPEG in a profile not sRGB's is decoded and stored converted; in sRGB's
// own profile its bytes still go in as they are.
TEST(ColourProfiles, OnlyAJPEGInSRGBGoesInAsItIs)
{
    const std::string swapped = SwappedRGBProfile();
    const Recorded wide =
        Record(WritePDF("jpeg-wide", Draw(1), {JPEGBlocks("[/ICCBased {P0}]")}, {WithN(3, swapped)}));
    EXPECT_EQ(wide.passedThroughJPEGs, 0u);
    ASSERT_EQ(wide.bitmaps.size(), 1u);
    if (wide.bitmaps[0].code == FTagCode::DefineBitsLossless || wide.bitmaps[0].code == FTagCode::DefineBitsLossless2) {
        const std::vector<RGB> colours = BlockColours(wide.bitmaps[0]);
        ASSERT_FALSE(colours.empty());
        EXPECT_LT(colours[0][0], 60);  // red is green
        EXPECT_GT(colours[0][1], 200);
    }
    const Recorded srgb =
        Record(WritePDF("jpeg-srgb", Draw(1), {JPEGBlocks("[/ICCBased {P0}]")}, {WithN(3, SRGBProfile())}));
    EXPECT_EQ(srgb.passedThroughJPEGs, 1u);
    ASSERT_EQ(srgb.bitmaps.size(), 1u);
    EXPECT_EQ(srgb.bitmaps[0].code, FTagCode::DefineBitsJPEG2);
}

// Pages drawn whole as pictures show the converted colours too: MuPDF's own
// render, and the converter's movies of both forms, whose pages both worker
// threads draw through the one profile.
TEST(ColourProfiles, PagesDrawnAsPicturesAndMoviesAreInSRGB)
{
    const std::string swapped = SwappedRGBProfile();
    const std::string path = WritePDF("whole-page", "q 720 0 0 540 0 0 cm /I0 Do Q\n",
                                      {Blocks("[/ICCBased {P0}]", kRGBBlocks)}, {WithN(3, swapped)}, 6);
    const std::vector<RGB> expected = Expected(swapped, kRGBBlocks);
    const auto near = [](const RGB& a, const RGB& b) {
        for (int c = 0; c < 3; ++c)
            if (std::abs(a[c] - b[c]) > 1) return false;
        return true;
    };
    Scratch folder("colour-profiles");
    {
        mupdf::Document document(std::make_shared<mupdf::Root>(), path);
        const mupdf::Picture picture = document.Render(0, 64, 48, false);
        // A colour-managed renderer of its own (poppler's, through lcms2) draws the same.
        const std::string ppm = (folder / "poppler").string();
        const bool poppler = std::system(("pdftoppm -f 1 -l 1 -singlefile -scale-to-x 64 -scale-to-y 48 " +
                                          swftest::ShellQuoted(path) + " " + swftest::ShellQuoted(ppm))
                                             .c_str()) == 0;
        std::string drawn;
        if (poppler) {
            std::ifstream in(ppm + ".ppm", std::ios::binary);
            std::string magic, size, levels;
            in >> magic >> size >> size >> levels;
            in.get();
            drawn.assign(std::istreambuf_iterator<char>(in), {});
            EXPECT_EQ(drawn.size(), 64u * 48 * 3);
        }
        for (int block = 0; block < kBlocks; ++block) {
            const size_t at = static_cast<size_t>(8 + 16 * block) * 3;
            const uint8_t* pixel = picture.pixels + 24 * picture.stride + at;
            EXPECT_PRED2(near, (RGB{pixel[0], pixel[1], pixel[2]}), expected[static_cast<size_t>(block)]) << block;
            if (drawn.size() == 64u * 48 * 3) {
                const auto* theirs = reinterpret_cast<const uint8_t*>(drawn.data()) + 24 * 64 * 3 + at;
                EXPECT_PRED2(near, (RGB{theirs[0], theirs[1], theirs[2]}), (RGB{pixel[0], pixel[1], pixel[2]})) << block;
            }
        }
    }

    folder.MakeDeck("unused", 0, "", "640\n480\n");
    std::filesystem::copy_file(path, folder / "icc.pdf");
    for (const bool raster : {true, false}) {
        const std::string movie = raster ? "raster.swf" : "vectors.swf";
        const RunResult run = folder.Convert(raster ? std::vector<std::string>{"--raster", "--lossless", "icc.pdf", movie}
                                                    : std::vector<std::string>{"icc.pdf", movie},
                                             false);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;
        std::vector<Bitmap> bitmaps;
        for (const swftest::Tag& tag : swftest::ParseFile((folder / movie).string()).tags)
            if (tag.code == FTagCode::DefineBitsLossless || tag.code == FTagCode::DefineBitsLossless2)
                bitmaps.push_back(Decoded(tag));
        // A picture a page, or the vector pages' one picture.
        ASSERT_EQ(bitmaps.size(), raster ? 6u : 1u) << movie;
        for (const Bitmap& bitmap : bitmaps)
            for (int block = 0; block < kBlocks; ++block) {
                // The page's picture fills the slide area; the vector page's bitmap is the picture's own.
                const RGB shown = raster ? bitmap.At(bitmap.width * (4 + 8 * block) / 32, bitmap.height / 2)
                                         : bitmap.At(4 + 8 * block, 4);
                EXPECT_PRED2(near, shown, expected[static_cast<size_t>(block)]) << movie << " block " << block;
            }
    }
}

#endif  // CORVANEX_PDF
