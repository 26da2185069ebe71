// The PDF form's default: each page one sprite of vector content where its
// picture stood, the page before taken off first, links as invisible
// buttons, and pages vectors fall short on drawn whole as pictures.

#include <gtest/gtest.h>

#ifdef CORVANEX_PDF

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/vectorslides.h"
#include "support/cairo_pdf.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"
#include "tests/support/pdfmaker.h"

namespace {

using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

Scratch& WithButtons(Scratch& folder)
{
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    return folder;
}

RunResult ConvertPDF(const Scratch& folder, std::vector<std::string> arguments)
{
    std::vector<std::string> all{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return folder.Convert(all, false);
}

// A drawing of far more bytes than its page's picture on a small stage
// (480 x 270): 400 triangles, each of its own colour, one over the other, of
// which the picture shows little more than the last.
void PaintDenseDrawing(cairo_t* cr, double x, double y, double width, double height)
{
    for (int i = 0; i < 400; ++i) {
        const double shift = (i % 50) * 0.1;
        cairo_move_to(cr, x + shift, y + height);
        cairo_line_to(cr, x + width / 2 + shift, y);
        cairo_line_to(cr, x + width + shift, y + height - shift);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, (i % 17) / 17.0, (i % 13) / 13.0, (i % 11) / 11.0);
        cairo_fill(cr);
    }
}

// A large photograph drawn small, with more bytes than its page's picture
// has: an 800 x 450 JPEG of its own (quality 100), which the movie keeps as
// it is where a decoded picture would be stored at twice its shown size.
void PaintLargePhoto(cairo_t* cr, double x, double y, double width, double height)
{
    static const std::vector<uint8_t> jpeg = [] {
        cairo_surface_t* photo = cairotest::Photo(800, 450, false);
        JPEGSettings settings;
        settings.quality = 100;
        std::vector<uint8_t> bytes =
            EncodeJPEG(cairo_image_surface_get_data(photo), 800, 450,
                       static_cast<size_t>(cairo_image_surface_get_stride(photo)), PixelLayout::BGRX, settings);
        cairo_surface_destroy(photo);
        return bytes;
    }();
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 800, 450);
    cairo_surface_set_mime_data(image, CAIRO_MIME_TYPE_JPEG, jpeg.data(), jpeg.size(), nullptr, nullptr);
    cairotest::PaintImage(cr, image, x, y, width, height);
    cairo_surface_destroy(image);
}

std::vector<std::vector<Tag>> SlideFrames(const Scratch& folder, const std::string& movie)
{
    std::vector<std::vector<Tag>> frames = swftest::Frames(swftest::ParseFile((folder / movie).string()));
    frames.resize(frames.size() - 2);
    return frames;
}

std::vector<Tag> Only(const std::vector<Tag>& frame, FTagCode code)
{
    std::vector<Tag> tags;
    std::copy_if(frame.begin(), frame.end(), std::back_inserter(tags), [&](const Tag& tag) { return tag.code == code; });
    return tags;
}

// A PlaceObject2 that places a character, or a RemoveObject: which, and where.
struct Placement {
    uint16_t character = 0;
    uint16_t depth = 0;
    size_t index = 0;  // in its frame
    bool operator==(const Placement& other) const
    {
        return character == other.character && depth == other.depth;
    }
};

std::optional<Placement> PlacementOf(const Tag& tag, size_t index)
{
    if (tag.code == FTagCode::PlaceObject2 && (tag.body.at(0) & 0x02) != 0)
        return Placement{swftest::Word(tag, 3), swftest::Word(tag, 1), index};
    if (tag.code == FTagCode::RemoveObject) return Placement{swftest::Word(tag, 0), swftest::Word(tag, 2), index};
    return std::nullopt;
}

std::vector<Placement> Placements(const std::vector<Tag>& frame, FTagCode code, uint16_t character = 0)
{
    std::vector<Placement> found;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (frame[i].code != code) continue;
        const std::optional<Placement> placement = PlacementOf(frame[i], i);
        if (placement && (character == 0 || placement->character == character)) found.push_back(*placement);
    }
    return found;
}

// The buttons whose only record is their hit state: the links.
std::vector<Tag> LinkButtons(const std::vector<Tag>& frame)
{
    std::vector<Tag> links;
    for (const Tag& button : Only(frame, FTagCode::DefineButton2))
        if (button.body.at(5) == 0x08) links.push_back(button);
    return links;
}

// The first action record of a button's first condition: code and body.
std::pair<uint8_t, std::vector<uint8_t>> ClickAction(const Tag& button)
{
    const size_t at = 3 + swftest::Word(button, 3) + 4;
    const uint8_t code = button.body.at(at);
    const size_t length = swftest::Word(button, at + 1);
    return {code, std::vector<uint8_t>(button.body.begin() + static_cast<long>(at + 3),
                                       button.body.begin() + static_cast<long>(at + 3 + length))};
}

// The bounds of every shape a frame defines, joined.
std::vector<int32_t> JoinedShapeBounds(const std::vector<Tag>& definitions)
{
    std::vector<int32_t> joined{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    for (const Tag& shape : definitions) {
        const std::vector<int32_t> b = swftest::ShapeBounds(shape);
        joined = {std::min(joined[0], b[0]), std::max(joined[1], b[1]), std::min(joined[2], b[2]),
                  std::max(joined[3], b[3])};
    }
    return joined;
}

// The tags a DefineSprite holds (its own End left out).
std::vector<Tag> SpriteTags(const Tag& sprite)
{
    std::vector<Tag> tags;
    size_t at = 4;  // after the ID and the frame count
    while (at + 2 <= sprite.body.size()) {
        const uint16_t header = swftest::Word(sprite, at);
        size_t length = header & 0x3F;
        at += 2;
        if (length == 0x3F) {
            length = swftest::Little(sprite.body, at, 4);
            at += 4;
        }
        Tag tag;
        tag.code = static_cast<FTagCode>(header >> 6);
        tag.body.assign(sprite.body.begin() + static_cast<long>(at), sprite.body.begin() + static_cast<long>(at + length));
        at += length;
        if (tag.code == FTagCode::End) break;
        tags.push_back(std::move(tag));
    }
    return tags;
}

// The sprite a page places: the last of its frame, a clip of the page's
// rectangle (returned), the same rectangle as its white paper, and the page's
// own sprite, the one before it, over that.
std::vector<int32_t> CheckPageSprite(const std::vector<Tag>& frame, const std::vector<Tag>& sprites)
{
    EXPECT_EQ(sprites.size(), 2u);
    if (sprites.size() != 2) return {};
    const std::vector<Tag> inside = SpriteTags(sprites[1]);
    EXPECT_EQ(inside.size(), 4u);
    if (inside.size() != 4) return {};
    // A clip layer at depth 1 up to depth 3, the paper at 2, the page's sprite at 3.
    EXPECT_EQ(inside[0].code, FTagCode::PlaceObject2);
    EXPECT_EQ(inside[0].body.at(0), 0x42);
    EXPECT_EQ(swftest::Word(inside[0], 1), 1);
    EXPECT_EQ(swftest::Word(inside[0], 5), 3);
    EXPECT_EQ(inside[1].body, (std::vector<uint8_t>{0x02, 2, 0, inside[0].body[3], inside[0].body[4]}));
    EXPECT_EQ(inside[2].body, (std::vector<uint8_t>{0x02, 3, 0, sprites[0].body[0], sprites[0].body[1]}));
    EXPECT_EQ(inside[3].code, FTagCode::ShowFrame);
    const uint16_t clip = swftest::Word(inside[0], 3);
    for (const Tag& tag : frame)
        if (tag.code == FTagCode::DefineShape3 && swftest::Word(tag, 0) == clip) return swftest::ShapeBounds(tag);
    ADD_FAILURE() << "no clip shape";
    return {};
}

// The tags of a frame before its sprite: the page's own definitions.
std::vector<Tag> PageShapes(const std::vector<Tag>& frame)
{
    std::vector<Tag> shapes;
    for (const Tag& tag : frame) {
        if (tag.code == FTagCode::DefineSprite) break;
        if (tag.code == FTagCode::DefineShape3) shapes.push_back(tag);
    }
    return shapes;
}

TEST(VectorPDFShow, EachPageIsOneSpriteWhereItsPictureStoodAndReplacesThePageBefore)
{
    Scratch folder("vectorpages");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.portraitPages = {2};
    options.numberedCorners = true;
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    const RunResult vectors = ConvertPDF(folder, {"talk.pdf", "vectors.swf"});
    ASSERT_EQ(vectors.status, 0) << vectors.err;
    EXPECT_NE(vectors.err.find("corvanex: pages: 3 vector, 0 partly raster, 0 raster\n"), std::string::npos);
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "talk.pdf", "raster.swf"}).status, 0);

    // The stage is the one the pictures had.
    const swftest::Movie movie = swftest::ParseFile((folder / "vectors.swf").string());
    const swftest::Movie raster = swftest::ParseFile((folder / "raster.swf").string());
    EXPECT_EQ(movie.xmax, raster.xmax);
    EXPECT_EQ(movie.ymax, raster.ymax);
    EXPECT_EQ(movie.frameCount, raster.frameCount);

    const std::vector<std::vector<Tag>> frames = SlideFrames(folder, "vectors.swf");
    const std::vector<std::vector<Tag>> pictures = SlideFrames(folder, "raster.swf");
    ASSERT_EQ(frames.size(), 3u);
    std::optional<Placement> before;
    for (size_t f = 0; f < frames.size(); ++f) {
        const std::vector<Tag> sprites = Only(frames[f], FTagCode::DefineSprite);
        ASSERT_EQ(sprites.size(), 2u) << "frame " << f;
        // Clipped to the page's rectangle: where its picture would stand,
        // but out to the slide area's edges (a picture is drawn from one pixel in).
        const std::vector<Tag> pictureShapes = Only(pictures[f], FTagCode::DefineShape3);
        std::vector<int32_t> area = swftest::ShapeBounds(pictureShapes.at(0));
        for (int32_t& side : area) side = side == 20 ? 0 : side;
        if (f == 1) {  // the portrait page (540 x 960 points), the area's height, centred
            const int32_t width = area[3] * 540 / 960;
            area[0] = (movie.xmax - width) / 2;
            area[1] = area[0] + width;
        }
        EXPECT_EQ(CheckPageSprite(frames[f], sprites), area) << "frame " << f;
        // No page picture: the button faces are the only JPEGs, each defined
        // once, where it is first used (the first frame has no backward button).
        EXPECT_EQ(Only(frames[f], FTagCode::DefineBitsJPEG2).size(), f < 2 ? 1u : 0u) << "frame " << f;
        const std::vector<Placement> placed = Placements(frames[f], FTagCode::PlaceObject2, swftest::Word(sprites[1], 0));
        ASSERT_EQ(placed.size(), 1u) << "frame " << f;
        // At the display depth of the page's picture in the raster movie
        // (that frame's first placement).
        EXPECT_EQ(placed[0].depth, Placements(pictures[f], FTagCode::PlaceObject2).at(0).depth) << "frame " << f;
        const std::vector<Placement> removed = Placements(frames[f], FTagCode::RemoveObject);
        if (before) {
            ASSERT_EQ(removed.size(), 1u) << "frame " << f;
            EXPECT_EQ(removed[0], *before) << "frame " << f;
            EXPECT_LT(removed[0].index, placed[0].index) << "frame " << f;
        } else {
            EXPECT_TRUE(removed.empty());
        }
        before = placed[0];
    }
    // The portrait page is drawn where its picture lay, centred.
    const std::vector<int32_t> portrait = JoinedShapeBounds(PageShapes(frames[1]));
    const std::vector<int32_t> area{8770, 16850, 20, 14400};
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(portrait[i], area[i], 20) << i;

    // Fonts are complete only once every page is in: all in the first frame, first.
    const std::vector<Tag> first = frames[0];
    ASSERT_FALSE(Only(first, FTagCode::DefineFont2).empty());
    EXPECT_EQ(first[0].code, FTagCode::DefineFont2);
    for (size_t f = 1; f < frames.size(); ++f) EXPECT_TRUE(Only(frames[f], FTagCode::DefineFont2).empty());
    EXPECT_FALSE(Only(frames[2], FTagCode::DefineText2).empty());
    // Far smaller than the pictures.
    EXPECT_LT(std::filesystem::file_size(folder / "vectors.swf") * 4, std::filesystem::file_size(folder / "raster.swf"));
}

// Three pages: the first links out, the third back to the second and the
// first (links to later pages cairo does not write).
void WriteLinkedDeck(const std::string& path)
{
    const auto page = [](double red, std::vector<const char*> links) {
        return [red, links](cairo_t* cr) {
            cairo_set_source_rgb(cr, red, 0.5, 0.5);
            cairo_rectangle(cr, 0, 0, 960, 540);
            cairo_fill(cr);
            for (const char* link : links) {
                cairo_tag_begin(cr, CAIRO_TAG_LINK, link);
                cairo_tag_end(cr, CAIRO_TAG_LINK);
            }
        };
    };
    cairotest::WritePDF(path, 960, 540,
                        {page(0.2, {"uri='https://example.org/talk' rect=[96 54 192 108]"}), page(0.5, {}),
                         page(0.8, {"page=2 pos=[0 0] rect=[480 270 96 54]", "page=1 pos=[0 0] rect=[0 0 96 54]"})});
}

using Action = std::pair<uint8_t, std::vector<uint8_t>>;

TEST(VectorPDFShow, LinksBecomeInvisibleButtonsOverTheirRectanglesAndLeaveWithTheirPage)
{
    Scratch folder("vectorlinks");
    WithButtons(folder);
    WriteLinkedDeck((folder / "linked.pdf").string());
    for (const char* form : {"", "--raster"}) {
        std::vector<std::string> arguments{"linked.pdf", "linked.swf"};
        if (*form) arguments.insert(arguments.begin(), form);
        const RunResult run = ConvertPDF(folder, arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::vector<Tag>> frames = SlideFrames(folder, "linked.swf");
        ASSERT_EQ(frames.size(), 3u);

        // A URI opens in a new window.
        const std::vector<Tag> first = LinkButtons(frames[0]);
        ASSERT_EQ(first.size(), 1u) << form;
        const std::string url = "https://example.org/talk";
        std::vector<uint8_t> getURL(url.begin(), url.end());
        getURL.push_back(0);
        for (char c : std::string("_blank")) getURL.push_back(static_cast<uint8_t>(c));
        getURL.push_back(0);
        EXPECT_EQ(ClickAction(first[0]), (Action{0x83, getURL})) << form;
        // Its hit shape lies over the link's rectangle: 96 to 288 points of
        // 4/3 pixels, from the slide area's corner at one pixel in.
        const std::vector<Tag> shapes = Only(frames[0], FTagCode::DefineShape3);
        const uint16_t hitShape = swftest::Word(first[0], 6);
        const auto hit = std::find_if(shapes.begin(), shapes.end(),
                                      [&](const Tag& shape) { return swftest::Word(shape, 0) == hitShape; });
        ASSERT_NE(hit, shapes.end()) << form;
        const std::vector<int32_t> bounds = swftest::ShapeBounds(*hit);
        EXPECT_NEAR(bounds[0], 20 + 96 * 20 * 4 / 3, 25) << form;
        EXPECT_NEAR(bounds[1], 20 + 288 * 20 * 4 / 3, 25) << form;

        // The second page takes the first and its link off.
        EXPECT_EQ(Placements(frames[1], FTagCode::RemoveObject).size(), 2u) << form;
        EXPECT_TRUE(LinkButtons(frames[1]).empty()) << form;
        // A page of the deck: GotoFrame to its frame, whose Stop holds it.
        std::vector<Action> back;
        for (const Tag& button : LinkButtons(frames[2])) back.push_back(ClickAction(button));
        std::sort(back.begin(), back.end());
        EXPECT_EQ(back, (std::vector<Action>{{0x81, {0, 0}}, {0x81, {1, 0}}})) << form;
    }
}

bool IsBitmap(const Tag& tag)
{
    return tag.code == FTagCode::DefineBitsJPEG2 || tag.code == FTagCode::DefineBitsJPEG3 ||
           tag.code == FTagCode::DefineBitsLossless || tag.code == FTagCode::DefineBitsLossless2;
}

// A bitmap's width and height: a lossless one's fields, or a JPEG's frame header.
std::pair<uint32_t, uint32_t> BitmapSize(const Tag& tag)
{
    if (tag.code == FTagCode::DefineBitsLossless || tag.code == FTagCode::DefineBitsLossless2)
        return {swftest::Word(tag, 3), swftest::Word(tag, 5)};
    for (size_t at = 2; at + 9 < tag.body.size(); ++at)
        if (tag.body[at] == 0xFF && tag.body[at + 1] == 0xC0)
            return {static_cast<uint32_t>(tag.body[at + 7] << 8 | tag.body[at + 8]),
                    static_cast<uint32_t>(tag.body[at + 5] << 8 | tag.body[at + 6])};
    ADD_FAILURE() << "no JPEG frame header";
    return {};
}

// The sizes of the bitmaps of every frame, the page pictures' and the
// buttons' (`skip`) left out.
std::vector<std::vector<std::pair<uint32_t, uint32_t>>> BitmapSizes(const std::vector<std::vector<Tag>>& frames,
                                                                    const std::set<std::pair<uint32_t, uint32_t>>& skip)
{
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> sizes;
    for (const std::vector<Tag>& frame : frames) {
        sizes.emplace_back();
        for (const Tag& tag : frame)
            if (IsBitmap(tag) && !skip.contains(BitmapSize(tag))) sizes.back().push_back(BitmapSize(tag));
        std::sort(sizes.back().begin(), sizes.back().end());
    }
    return sizes;
}

// The bitmaps a frame defines before its page's sprites: the page's own.
size_t PageBitmaps(const std::vector<Tag>& frame)
{
    size_t count = 0;
    for (const Tag& tag : frame) {
        if (tag.code == FTagCode::DefineSprite) break;
        count += IsBitmap(tag);
    }
    return count;
}

TEST(VectorPDFShow, WhatVectorsCannotDrawIsAPictureInItsPlaceOrTheWholePageIsAndTheyAreCounted)
{
    Scratch folder("vectorfallback");
    WithButtons(folder);
    // A block multiplied over another: a blend mode SWF does not have.
    const auto blocks = [](cairo_operator_t blend) {
        return [blend](cairo_t* cr) {
            cairo_set_source_rgb(cr, 0.9, 0.8, 0.2);
            cairo_rectangle(cr, 100, 100, 400, 300);
            cairo_fill(cr);
            cairo_set_operator(cr, blend);
            cairo_set_source_rgb(cr, 0.2, 0.4, 0.9);
            cairo_rectangle(cr, 300, 200, 200, 150);
            cairo_fill(cr);
        };
    };
    // A dense drawing: more bytes as vectors than the page's picture.
    const auto picture = [](cairo_t* cr) { PaintDenseDrawing(cr, 100, 100, 300, 200); };
    cairotest::WritePDF((folder / "mixed.pdf").string(), 960, 540,
                        {blocks(CAIRO_OPERATOR_OVER), blocks(CAIRO_OPERATOR_MULTIPLY), picture});
    const RunResult run = ConvertPDF(folder, {"--size", "480x270", "mixed.pdf", "mixed.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "corvanex: page 3 of the PDF 'mixed.pdf' is drawn as a picture: its vectors would take more bytes than its picture\n"
              "corvanex: pages: 1 vector, 1 partly raster, 1 raster\n");
    const std::vector<std::vector<Tag>> frames = SlideFrames(folder, "mixed.swf");
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Only(frames[0], FTagCode::DefineSprite).size(), 2u);
    // The last page's bitmap went with its vectors.
    EXPECT_EQ(PageBitmaps(frames[0]), 0u);

    // Partly: the page's sprite with the picture of the blended part in it.
    EXPECT_EQ(Only(frames[1], FTagCode::DefineSprite).size(), 2u);
    EXPECT_EQ(PageBitmaps(frames[1]), 1u);

    // Whole: the page's picture as --raster draws it, after the page before
    // comes off.
    const std::vector<Tag>& whole = frames[2];
    EXPECT_TRUE(Only(whole, FTagCode::DefineSprite).empty());
    EXPECT_EQ(Only(whole, FTagCode::DefineBitsJPEG2).size(), 1u);  // the button faces came before
    EXPECT_EQ(whole[0].code, FTagCode::RemoveObject);
    EXPECT_EQ(Placements(whole, FTagCode::RemoveObject).size(), 1u);
}

// A font the PDF does not embed is named once for the whole deck, with the
// font that draws it; an embedded font that cannot be loaded is named with
// its page and why, not taken for damage to the page.
TEST(VectorPDFShow, FontsThePDFDoesNotGiveAreNamedOnceWithWhatDrawsThem)
{
    Scratch folder("vectorfonts");
    WithButtons(folder);
    pdfmaker::DeckOptions options;
    options.pages = 3;  // each with its title in Helvetica-Bold and text in Helvetica
    folder.Write("talk.pdf", pdfmaker::MakeDeck(options));
    const RunResult standard = ConvertPDF(folder, {"talk.pdf", "talk.swf"});
    ASSERT_EQ(standard.status, 0) << standard.err;
    EXPECT_EQ(standard.err,
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica': it is drawn with "
              "'TeXGyreHeros-Regular'\n"
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica-Bold': it is drawn with "
              "'TeXGyreHeros-Bold'\n"
              "corvanex: pages: 3 vector, 0 partly raster, 0 raster\n");

    // An embedded subset whose program starts with bytes that are neither
    // zlib's nor a font's; the file itself stays whole.
    cairotest::WritePDF((folder / "text.pdf").string(), 960, 540, {[](cairo_t* cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 40);
        cairo_move_to(cr, 100, 200);
        cairo_show_text(cr, "Broken");
    }});
    std::string bytes = swftest::Slurp(folder / "text.pdf");
    const size_t key = bytes.find("/FontFile");
    ASSERT_NE(key, std::string::npos);
    const size_t number = bytes.find(' ', key) + 1;
    const std::string object = "\n" + bytes.substr(number, bytes.find(' ', number) - number) + " 0 obj";
    ASSERT_NE(bytes.find(object), std::string::npos);
    const size_t stream = bytes.find("stream\n", bytes.find(object)) + 7;
    bytes.replace(stream, 16, std::string(16, 'x'));
    folder.Write("broken.pdf", bytes);
    const RunResult broken = ConvertPDF(folder, {"broken.pdf", "broken.swf"});
    ASSERT_EQ(broken.status, 0) << broken.err;
    const std::string start = "corvanex: page 1 of the PDF 'broken.pdf': the embedded font '";
    EXPECT_EQ(broken.err.rfind(start, 0), 0u) << broken.err;
    EXPECT_NE(broken.err.find("DejaVuSans' cannot be loaded ("), std::string::npos) << broken.err;
    EXPECT_NE(broken.err.find("): its text is drawn with '"), std::string::npos) << broken.err;
    EXPECT_EQ(broken.err.find("damaged"), std::string::npos) << broken.err;
    EXPECT_EQ(std::count(broken.err.begin(), broken.err.end(), '\n'), 2) << broken.err;
    EXPECT_NE(broken.err.find("corvanex: pages: 1 vector, 0 partly raster, 0 raster\n"), std::string::npos);
    // As a picture: the same line, and no damage either.
    const RunResult raster = ConvertPDF(folder, {"--raster", "broken.pdf", "raster.swf"});
    ASSERT_EQ(raster.status, 0) << raster.err;
    EXPECT_EQ(raster.err, broken.err.substr(0, broken.err.find('\n') + 1));
}

using Size = std::pair<uint32_t, uint32_t>;
// The buttons' faces and pages drawn whole as pictures (on the default stage
// and on the small one).
const std::set<Size> kNotPagePictures{{640, 480}, {1280, 720}, {480, 270}};

TEST(VectorPDFShow, MaxImageDPIScalesPicturesDownToTheirPlaceKeepingTheirAspect)
{
    Scratch folder("vectormaxdpi");
    WithButtons(folder);
    static std::vector<uint8_t> jpeg;
    {
        std::vector<uint8_t> pixels(600 * 400 * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i / 4 % 600) * 255 / 600);
        jpeg = EncodeJPEG(pixels.data(), 600, 400, 600 * 4, PixelLayout::RGBA, {});
    }
    cairotest::WritePDF((folder / "pictures.pdf").string(), 960, 540,
                        {[](cairo_t* cr) {
                             // One picture at two sizes, and stretched to twice its height.
                             cairo_surface_t* image = cairotest::Picture(800, 600, false, 3);
                             cairotest::PaintImage(cr, image, 0, 0, 200, 150);
                             cairotest::PaintImage(cr, image, 300, 0, 400, 300);
                             cairotest::PaintImage(cr, image, 750, 0, 100, 150);
                             cairo_surface_destroy(image);
                         },
                         [](cairo_t* cr) {
                             // A JPEG whose bytes would pass through.
                             cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 600, 400);
                             cairo_surface_set_mime_data(image, CAIRO_MIME_TYPE_JPEG, jpeg.data(), jpeg.size(),
                                                         nullptr, nullptr);
                             cairotest::PaintImage(cr, image, 100, 100, 450, 300);
                             cairo_surface_destroy(image);
                         }});
    // The slide area is the page at 96 dpi: a point is 4/3 pixels, whatever the cap.
    const RunResult capped = ConvertPDF(folder, {"--max-image-dpi", "72", "pictures.pdf", "capped.swf"});
    ASSERT_EQ(capped.status, 0) << capped.err;
    EXPECT_EQ(capped.err, "corvanex: pages: 2 vector, 0 partly raster, 0 raster\n");
    const auto cappedFrames = SlideFrames(folder, "capped.swf");
    EXPECT_EQ(BitmapSizes(cappedFrames, kNotPagePictures),
              (std::vector<std::vector<Size>>{{{100, 75}, {200, 150}, {400, 300}}, {{450, 300}}}));
    // Scaled, the JPEG is a JPEG of its own.
    const std::vector<Tag> jpegs = Only(cappedFrames[1], FTagCode::DefineBitsJPEG2);
    EXPECT_TRUE(std::none_of(jpegs.begin(), jpegs.end(), [](const Tag& tag) { return tag.body.size() > jpeg.size(); }));

    // Without a cap: each at most twice its place on the stage (drawn 400
    // points wide, the picture's own size), the JPEG's bytes as they are.
    const RunResult whole = ConvertPDF(folder, {"pictures.pdf", "whole.swf"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto wholeFrames = SlideFrames(folder, "whole.swf");
    EXPECT_EQ(BitmapSizes(wholeFrames, kNotPagePictures),
              (std::vector<std::vector<Size>>{{{266, 200}, {533, 400}, {800, 600}}, {{600, 400}}}));
    const std::vector<Tag> own = Only(wholeFrames[1], FTagCode::DefineBitsJPEG2);
    EXPECT_TRUE(std::any_of(own.begin(), own.end(), [](const Tag& tag) {
        return std::search(tag.body.begin(), tag.body.end(), jpeg.begin(), jpeg.end()) != tag.body.end();
    }));

    // --quality is the vector pages' JPEG quality too.
    ASSERT_EQ(ConvertPDF(folder, {"--quality", "30", "pictures.pdf", "rough.swf"}).status, 0);
    EXPECT_LT(std::filesystem::file_size(folder / "rough.swf"), std::filesystem::file_size(folder / "whole.swf"));

    // A cap above what the pictures have changes nothing.
    ASSERT_EQ(ConvertPDF(folder, {"--max-image-dpi", "2400", "pictures.pdf", "high.swf"}).status, 0);
    EXPECT_EQ(swftest::Slurp(folder / "high.swf"), swftest::Slurp(folder / "whole.swf"));
}

TEST(VectorPDFShow, APageDrawnAsAPictureDefinesNoneOfItsBitmapsAndALaterPageDefinesItsOwn)
{
    Scratch folder("vectororphans");
    WithButtons(folder);
    // A small photograph on every page; on the first, a dense drawing, which
    // makes that page a picture.
    const auto small = [](cairo_t* cr) {
        cairo_surface_t* image = cairotest::Photo(48, 48, false, 12, 5);
        cairotest::PaintImage(cr, image, 100, 100, 48, 48);
        cairo_surface_destroy(image);
    };
    const auto both = [&](cairo_t* cr) {
        small(cr);
        PaintDenseDrawing(cr, 400, 300, 300, 200);
    };
    cairotest::WritePDF((folder / "orphans.pdf").string(), 960, 540, {both, small, small});
    const RunResult run = ConvertPDF(folder, {"--size", "480x270", "orphans.pdf", "orphans.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "corvanex: page 1 of the PDF 'orphans.pdf' is drawn as a picture: its vectors would take more bytes than its picture\n"
              "corvanex: pages: 2 vector, 0 partly raster, 1 raster\n");
    const auto frames = SlideFrames(folder, "orphans.swf");
    // Nothing of the first page but its picture; the small photograph defined
    // once, by the second page, and drawn from there by the third.
    EXPECT_EQ(BitmapSizes(frames, kNotPagePictures), (std::vector<std::vector<Size>>{{}, {{48, 48}}, {}}));
    EXPECT_EQ(Only(frames[0], FTagCode::DefineSprite).size(), 0u);
    EXPECT_EQ(Only(frames[2], FTagCode::DefineSprite).size(), 2u);
}

// The pictures on a page are stored at their own capped size whatever the
// page is drawn as: they are not weighed against its picture, and a large
// photograph drawn small leaves its page's text and lines sharp. Shown on
// every page, it is stored once.
TEST(VectorPDFShow, APagesPicturesDoNotMakeItAPicture)
{
    Scratch folder("vectorphotos");
    WithButtons(folder);
    const auto large = [](cairo_t* cr) { PaintLargePhoto(cr, 400, 300, 160, 90); };
    cairotest::WritePDF((folder / "photos.pdf").string(), 960, 540, {large, large, large});
    const RunResult run = ConvertPDF(folder, {"photos.pdf", "photos.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "corvanex: pages: 3 vector, 0 partly raster, 0 raster\n");
    EXPECT_EQ(BitmapSizes(SlideFrames(folder, "photos.swf"), kNotPagePictures),
              (std::vector<std::vector<Size>>{{{800, 450}}, {}, {}}));
}

// Without Liberation the deck's unembedded fonts stay MuPDF's own: their
// text is drawn as pictures over the vector pages, no glyph of them goes into
// the movie, and the warnings say why. The raster form only names the font.
TEST(VectorPDFShow, WithoutLiberationUnembeddedTextIsAPictureAndTheWarningSaysWhy)
{
    Scratch folder("noliberation");
    WithButtons(folder);
    pdfmaker::DeckOptions options;
    options.pages = 2;
    folder.Write("talk.pdf", pdfmaker::MakeDeck(options));
    const std::string noFolders = "CORVANEX_SUBSTITUTE_FONT_DIRS= ";
    const std::vector<std::string> buttons{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), buttons.begin(), buttons.end());
        return folder.Run(CORVANEX_BINARY, arguments, noFolders);
    };
    const RunResult vectors = run({"talk.pdf", "talk.swf"});
    ASSERT_EQ(vectors.status, 0) << vectors.err;
    EXPECT_EQ(vectors.err,
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica': it is drawn with "
              "'NimbusSans-Regular' as a picture (its licence does not allow embedding it)\n"
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica-Bold': it is drawn with "
              "'NimbusSans-Bold' as a picture (its licence does not allow embedding it)\n"
              "corvanex: pages: 0 vector, 2 partly raster, 0 raster\n");
    size_t fonts = 0, texts = 0;
    for (const Tag& tag : swftest::ParseFile((folder / "talk.swf").string()).tags) {
        fonts += tag.code == FTagCode::DefineFont2;
        texts += tag.code == FTagCode::DefineText2;
    }
    EXPECT_EQ(fonts, 0u);
    EXPECT_EQ(texts, 0u);

    const RunResult raster = run({"--raster", "talk.pdf", "raster.swf"});
    ASSERT_EQ(raster.status, 0) << raster.err;
    EXPECT_EQ(raster.err,
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica': it is drawn with "
              "'NimbusSans-Regular'\n"
              "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica-Bold': it is drawn with "
              "'NimbusSans-Bold'\n");
}

// The limits, straight through the recorder of the show.
TEST(VectorSlides, LimitsAndTheCharacterBudgetSendAPageToThePicturePath)
{
    Scratch folder("vectorlimits");
    const std::string path = (folder / "dense.pdf").string();
    cairotest::WritePDF(path, 960, 540,
                        {[](cairo_t* cr) {
                             cairo_set_source_rgb(cr, 0.1, 0.3, 0.6);
                             cairo_rectangle(cr, 50, 50, 200, 100);
                             cairo_fill(cr);
                         },
                         [](cairo_t* cr) { PaintDenseDrawing(cr, 100, 100, 300, 200); }});
    const PDFDeck deck(path);
    const PageArea area{20, 20, 25600, 14400};
    const PixelSize shown{1280, 720};
    {
        // Time is no limit here (a loaded machine, valgrind): the bytes are.
        VectorPageLimits untimed;
        untimed.maxSeconds = 600;
        VectorSlides slides(deck, untimed);
        const VectorSlide plain = slides.Record(0, area, shown, 1000);
        EXPECT_TRUE(plain.sprite) << plain.whyRaster;
        const VectorSlide dense = slides.Record(1, area, PixelSize{480, 270}, 1000);
        EXPECT_FALSE(dense.sprite);
        EXPECT_EQ(dense.whyRaster, "its vectors would take more bytes than its picture");
        EXPECT_FALSE(dense.budgetSpent);
        // The picture it lost to is the page's picture: kept, it is what a
        // render gives, and it is kept for that page and size alone.
        PageEncoding encoding;
        encoding.jpeg.quality = VectorImageSettings{}.jpegQuality;
        const EncodedPage kept = slides.Render(1, PixelSize{480, 270}, encoding);
        const EncodedPage drawn = slides.Render(1, PixelSize{480, 270}, encoding);
        EXPECT_EQ(kept.width, 480);
        EXPECT_FALSE(kept.jpeg.empty());
        EXPECT_EQ(kept.jpeg, drawn.jpeg);
        slides.Record(1, area, PixelSize{480, 270}, 1000);
        EXPECT_EQ(slides.Render(1, PixelSize{240, 135}, encoding).width, 240);
    }
    {
        VectorPageLimits limits;
        limits.maxEdges = 3;
        VectorSlides slides(deck, limits);
        const VectorSlide edges = slides.Record(0, area, shown, 1000);
        EXPECT_FALSE(edges.sprite);
        EXPECT_EQ(edges.whyRaster, "4 edges, more than 3");
        // Past the characters left: only that page is a picture, and it
        // gives back every ID it drew; with none left, the pages after know.
        const uint16_t beforeSpent = FLastCharacterID();
        const VectorSlide spent = slides.Record(0, area, shown, 3);
        EXPECT_FALSE(spent.sprite);
        EXPECT_FALSE(spent.budgetSpent);
        EXPECT_EQ(spent.whyRaster, "as vectors it would need more characters than the movie has left");
        EXPECT_EQ(FLastCharacterID(), beforeSpent);
        EXPECT_TRUE(slides.Record(0, area, shown, 0).budgetSpent);
        // The limit is lifted after the page: the show draws its own.
        const uint16_t before = FLastCharacterID();
        EXPECT_EQ(NextCharacterID(), before + 1);
    }
}

}  // namespace

#endif
