// gallery: writes a movie that shows every object the library offers, each in
// a cell of its own, so that a player's picture of it can be checked point by
// point.
//
//   gallery [--wav FILE] [--jpeg FILE] OUT.swf
//
// The movie is 640 x 600 pixels: five columns of 128 pixels, six rows of 100,
// on a beige background. Frame 0 stops; the button goes to frame 1, which adds
// a marker and stops again. Cells (column, row):
//
//   row 0  solid fills and outlines: rectangle, oval, circle, polygon, outline only
//   row 1  gradients: rectangle linear, oval linear of three colours,
//          circle radial, polygon radial
//   row 2  bitmaps: JPEG rectangle, lossless ARGB rectangle (with alpha),
//          lossless colour-mapped rectangle, polygon with a JPEG fill,
//          circle with a lossless fill and an outline
//   row 3  a bar turned by 90 degrees, a rectangle scaled by 3 x 2, a button,
//          a sprite of three frames, static text in a font of polygon glyphs
//   row 4  a morph shape at ratios 0, 1/2 and 1; cell 3 is the marker of frame 1
//   row 5  an edit-text field across the row
//
// An event sound starts on frame 0: the WAV file given, or half a second of a
// chord made here. The JPEG is the file given, else the forward button image
// beside the program (forward.jpg) or in assets/.

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hf/hfaction.h"
#include "hf/hfbitmap.h"
#include "hf/hfbutton.h"
#include "hf/hffont.h"
#include "hf/hfmovie.h"
#include "hf/hfpolygon.h"
#include "hf/hfshape.h"
#include "hf/hfsound.h"
#include "hf/hftext.h"
#include "swf/faction.h"
#include "swf/fct.h"
#include "swf/fdtmorph.h"
#include "swf/fdtsprite.h"
#include "driver/core/error.h"

namespace {

const char* const kUsage =
    "usage: gallery [--wav FILE] [--jpeg FILE] OUT.swf\n"
    "\n"
    "Writes a one-stop SWF movie of 640 x 600 pixels that shows every kind of\n"
    "object the library writes (shapes, fills, bitmaps, a button, a font and\n"
    "text, an edit-text field, an event sound, a sprite, a morph shape).\n"
    "\n"
    "options:\n"
    "  --wav FILE    the event sound (default: a chord made in memory)\n"
    "  --jpeg FILE   the JPEG image (default: forward.jpg beside the program,\n"
    "                else assets/forward.jpg)\n"
    "  --help        print this text and exit\n"
    "\n"
    "exit status: 0 success, 1 an input was refused or a file failed, 2 wrong command line\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr int32_t kCellWidth = 128;  // pixels
constexpr int32_t kCellHeight = 100;
constexpr int32_t kColumns = 5;
constexpr int32_t kRows = 6;

// Depths beyond any the object model's depth sorting hands out (one per
// placement, from 0), for the placements made with tags directly.
constexpr uint16_t kSpriteDepth = 1000;
constexpr uint16_t kMorphDepth = 1001;

constexpr int32_t Px(int32_t pixels) { return pixels * FTwipsPerPixel; }

// A point of a cell, in twips, from pixels relative to the cell's top left.
struct Cell {
    int32_t column;
    int32_t row;
    int32_t X(int32_t px) const { return Px(column * kCellWidth + px); }
    int32_t Y(int32_t py) const { return Px(row * kCellHeight + py); }
};

constexpr HFColor kBackground{0xF4, 0xEE, 0xDC};
constexpr HFColor kBlack{0x00, 0x00, 0x00};
constexpr HFColor kWhite{0xFF, 0xFF, 0xFF};
constexpr HFColor kRed{0xE0, 0x20, 0x20};
constexpr HFColor kBlue{0x20, 0x40, 0xE0};
constexpr HFColor kGreen{0x20, 0xA0, 0x30};
constexpr HFColor kOrange{0xF0, 0x80, 0x10};
constexpr HFColor kPurple{0x80, 0x20, 0xA0};
constexpr HFColor kYellow{0xF0, 0xE0, 0x10};
constexpr HFColor kMagenta{0xE0, 0x10, 0xC0};
constexpr HFColor kCyan{0x10, 0xD0, 0xE0};
constexpr HFColor kNavy{0x10, 0x20, 0x60};
constexpr HFColor kTeal{0x10, 0x80, 0x80};
constexpr HFColor kPink{0xF0, 0x70, 0xB0};
constexpr HFColor kGold{0xE0, 0xB0, 0x00};
constexpr HFColor kCrimson{0xA0, 0x00, 0x30};
constexpr HFColor kLime{0x80, 0xE0, 0x00};
constexpr HFColor kBrown{0x80, 0x50, 0x20};
constexpr HFColor kOlive{0x60, 0x70, 0x10};
constexpr HFColor kDarkRed{0x90, 0x10, 0x10};

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "gallery: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

int Fail(const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "gallery: %s\n", message.c_str());
    return kExitFailure;
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};

std::optional<std::vector<uint8_t>> ReadWhole(const std::string& name)
{
    std::ifstream input(name, std::ios::binary);
    if (!input) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    if (input.bad()) return std::nullopt;
    return bytes;
}

// The image size from a JPEG's start-of-frame segment; none when the bytes
// are not a JPEG or end before one.
std::optional<std::pair<int32_t, int32_t>> JPEGSize(const std::vector<uint8_t>& jpeg)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (jpeg[pos] != 0xFF) return std::nullopt;
        const uint8_t marker = jpeg[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        const size_t length = (size_t{jpeg[pos + 2]} << 8) | jpeg[pos + 3];
        // Start of frame: every SOFn but the table markers C4 (DHT), C8 and CC (DAC).
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (pos + 9 > jpeg.size() || length < 7) return std::nullopt;
            const int32_t height = (jpeg[pos + 5] << 8) | jpeg[pos + 6];
            const int32_t width = (jpeg[pos + 7] << 8) | jpeg[pos + 8];
            if (width == 0 || height == 0) return std::nullopt;
            return std::make_pair(width, height);
        }
        if (marker == 0xDA || length < 2) return std::nullopt;  // image data before any frame header
        pos += 2 + length;
    }
    return std::nullopt;
}

// forward.jpg beside the running program, else assets/forward.jpg from here.
std::string DefaultJPEG()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "forward.jpg";
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    return "assets/forward.jpg";
}

// 32-bit pixels (alpha or pad byte, red, green, blue) of an image in four
// quadrants of the colours given (top left, top right, bottom left, bottom right).
std::vector<uint8_t> QuadrantPixels(int32_t size, const std::array<HFColor, 4>& colors)
{
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            const HFColor& c = colors[(y < size / 2 ? 0 : 2) + (x < size / 2 ? 0 : 1)];
            pixels.insert(pixels.end(), {0xFF, c.red, c.green, c.blue});
        }
    }
    return pixels;
}

// Half a second of a chord (220, 330 and 550 Hz) at 22050 Hz, 16-bit mono,
// fading in and out so that it starts and ends in silence.
std::vector<int16_t> Chord()
{
    constexpr double kRate = 22050.0;
    constexpr double kPi = 3.14159265358979323846;
    std::vector<int16_t> samples(11025);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double envelope = std::sin(kPi * static_cast<double>(i) / static_cast<double>(samples.size()));
        const double value = std::sin(2 * kPi * 220 * t) + 0.6 * std::sin(2 * kPi * 330 * t) +
                             0.4 * std::sin(2 * kPi * 550 * t);
        samples[i] = static_cast<int16_t>(std::lround(9000 * envelope * value));
    }
    return samples;
}

std::unique_ptr<HFPolygon> Polygon(std::initializer_list<HFPoint> points)
{
    const std::vector<HFPoint> list(points);
    return std::make_unique<HFPolygon>(list.data(), static_cast<int32_t>(list.size()));
}

// Row 0: one shape of each kind with a solid fill, and a shape without fill.
void AddSolidShapes(HFFrame& frame)
{
    const Cell a{0, 0}, b{1, 0}, c{2, 0}, d{3, 0}, e{4, 0};

    HFRectangle rectangle(a.X(14), a.Y(14), a.X(114), a.Y(86));
    rectangle.SetSolidFill(kRed);
    rectangle.SetLineWidth(Px(4));
    rectangle.SetLineColor(kBlack);
    frame.AddObject(rectangle);

    HFOval oval(b.X(8), b.Y(14), b.X(120), b.Y(86));
    oval.SetSolidFill(kBlue);
    oval.SetLineWidth(Px(2));
    oval.SetLineColor(kBlack);
    frame.AddObject(oval);

    HFCircle circle(c.X(64), c.Y(50), Px(40));
    circle.SetSolidFill(kGreen);
    circle.SetLineWidth(0);
    frame.AddObject(circle);

    auto triangle = Polygon({{d.X(64), d.Y(8)}, {d.X(120), d.Y(92)}, {d.X(8), d.Y(92)}});
    triangle->SetSolidFill(kOrange);
    triangle->SetLineWidth(Px(2));
    triangle->SetLineColor(kBlack);
    frame.AddObject(*triangle);

    HFRectangle frameOnly(e.X(14), e.Y(14), e.X(114), e.Y(86));
    frameOnly.ClearFill();
    frameOnly.SetLineWidth(Px(8));
    frameOnly.SetLineColor(kPurple);
    frame.AddObject(frameOnly);
}

// Row 1: linear and radial gradients.
void AddGradients(HFFrame& frame)
{
    const Cell a{0, 1}, b{1, 1}, c{2, 1}, d{3, 1};

    HFRectangle linear(a.X(4), a.Y(10), a.X(124), a.Y(90));
    linear.SetLinearGradientFill(kRed, kBlue);
    linear.SetLineWidth(0);
    frame.AddObject(linear);

    HFOval threeColors(b.X(4), b.Y(10), b.X(124), b.Y(90));
    threeColors.SetLinearGradientMatrix(b.X(64), b.Y(50));
    threeColors.AddLinearGradientColor(0, kYellow);
    threeColors.AddLinearGradientColor(128, kMagenta);
    threeColors.AddLinearGradientColor(255, kCyan);
    threeColors.SetLineWidth(0);
    frame.AddObject(threeColors);

    HFCircle radial(c.X(64), c.Y(50), Px(45));
    radial.SetRadialGradientFill(kWhite, kNavy);
    radial.SetLineWidth(0);
    frame.AddObject(radial);

    auto hexagon = Polygon({{d.X(34), d.Y(8)}, {d.X(94), d.Y(8)}, {d.X(124), d.Y(50)},
                            {d.X(94), d.Y(92)}, {d.X(34), d.Y(92)}, {d.X(4), d.Y(50)}});
    hexagon->SetRadialGradientFill(kYellow, kGreen);
    hexagon->SetLineWidth(Px(1));
    hexagon->SetLineColor(kBlack);
    frame.AddObject(*hexagon);
}

// Row 2: JPEG and lossless bitmaps, alone and as fills.
void AddBitmaps(HFFrame& frame, const std::vector<uint8_t>& jpeg, std::pair<int32_t, int32_t> jpegSize)
{
    const Cell a{0, 2}, b{1, 2}, c{2, 2}, d{3, 2}, e{4, 2};
    const auto [jpegWidth, jpegHeight] = jpegSize;
    const auto jpegBytes = static_cast<int32_t>(jpeg.size());

    HFBitmap photo(a.X(14), a.Y(10), a.X(114), a.Y(90), jpegWidth, jpegHeight, jpeg.data(), jpegBytes);
    frame.AddObject(photo);

    // 8 x 8 ARGB pixels in four quadrants, written as DefineBitsLossless2.
    const std::vector<uint8_t> argb = QuadrantPixels(8, {kRed, kGreen, kBlue, kYellow});
    HFBitmap quadrants(b.X(14), b.Y(10), b.X(114), b.Y(90), 5, 8, 8, 0, true, argb.data(), nullptr);
    frame.AddObject(quadrants);

    // 8 x 8 colour-mapped pixels in four stripes of two columns each (rows
    // of 8 bytes need no padding to 32 bits), written as DefineBitsLossless.
    const uint8_t table[] = {kMagenta.red, kMagenta.green, kMagenta.blue, kCyan.red,  kCyan.green,  kCyan.blue,
                             kBrown.red,   kBrown.green,   kBrown.blue,   kOlive.red, kOlive.green, kOlive.blue};
    std::vector<uint8_t> stripes;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) stripes.push_back(static_cast<uint8_t>(x / 2));
    HFBitmap mapped(c.X(14), c.Y(10), c.X(114), c.Y(90), 3, 8, 8, 4, false, stripes.data(), table);
    frame.AddObject(mapped);

    auto diamond = Polygon({{d.X(64), d.Y(6)}, {d.X(122), d.Y(50)}, {d.X(64), d.Y(94)}, {d.X(6), d.Y(50)}});
    diamond->SetJPEGBitmapFill(jpegWidth, jpegHeight, jpeg.data(), jpegBytes);
    diamond->SetLineWidth(0);
    frame.AddObject(*diamond);

    const std::vector<uint8_t> xrgb = QuadrantPixels(8, {kOrange, kPurple, kTeal, kPink});
    HFCircle disc(e.X(64), e.Y(50), Px(40));
    disc.SetLosslessBitmapFill(5, 8, 8, 0, false, xrgb.data(), nullptr);
    disc.SetLineWidth(Px(3));
    disc.SetLineColor(kBlack);
    frame.AddObject(disc);
}

// A glyph of 1024 units (the text's height in twips), y growing downwards
// from the top of the line.
void AddGlyphs(HFFont& font)
{
    const auto glyph = [&font](char code, int32_t advance, std::initializer_list<HFPoint> points) {
        font.AddGlyph(*Polygon(points), static_cast<unsigned char>(code), advance);
    };
    glyph('L', 768, {{64, 64}, {320, 64}, {320, 704}, {704, 704}, {704, 960}, {64, 960}});
    glyph('I', 640, {{160, 64}, {480, 64}, {480, 960}, {160, 960}});
    glyph('T', 768, {{0, 64}, {704, 64}, {704, 320}, {480, 320}, {480, 960}, {224, 960}, {224, 320}, {0, 320}});
}

// Row 3 but the sprite: placements with a matrix, the button and static text.
void AddPlacementsButtonAndText(HFFrame& frame, HFFont& font)
{
    const Cell a{0, 3}, b{1, 3}, c{2, 3}, e{4, 3};

    // An 80 x 20 bar turned about its centre into a 20 x 80 one.
    HFRectangle bar(a.X(24), a.Y(40), a.X(104), a.Y(60));
    bar.SetSolidFill(kTeal);
    bar.SetLineWidth(0);
    bar.SetRotation(90 << 16);
    frame.AddObject(bar);

    // 20 x 15 pixels at the origin, scaled by 3 x 2 and moved into the cell:
    // 60 x 30 pixels from (34, 35).
    HFRectangle small(0, 0, Px(20) - 1, Px(15) - 1);
    small.SetSolidFill(kPink);
    small.SetLineWidth(0);
    small.SetScale(3 << 16, 2 << 16);
    small.SetTranslation(b.X(34), b.Y(35));
    frame.AddObject(small);

    HFRectangle up(c.X(24), c.Y(20), c.X(104), c.Y(80));
    up.SetSolidFill(kNavy);
    HFRectangle over(c.X(24), c.Y(20), c.X(104), c.Y(80));
    over.SetSolidFill(kGold);
    HFRectangle down(c.X(24), c.Y(20), c.X(104), c.Y(80));
    down.SetSolidFill(kCrimson);
    HFRectangle hit(c.X(24), c.Y(20), c.X(104), c.Y(80));
    HFButton button(up, over, down, hit);
    button.AddAction(HFActionGotoFrame(1), FButtonTransition::kOverDownToOverUp);
    button.AddAction(HFActionStop(), FButtonTransition::kOverDownToOverUp);
    frame.AddObject(button);

    HFText text("LIT", font);
    text.SetSolidFill(kDarkRed);
    text.SetTranslation(e.X(10), e.Y(24));
    frame.AddObject(text);
}

// A sprite of three frames in cell (3, 3): frame 0 shows a red bar on the
// left, frame 1 adds a blue one in the middle, frame 2 takes the red one away,
// adds a green one on the right and stops there.
void AddSprite(HFFrame& frame)
{
    const auto bar = [&](int32_t left, const HFColor& color) {
        auto shape = std::make_unique<HFRectangle>(Px(left), Px(20), Px(left + 32), Px(80));
        shape->SetSolidFill(color);
        shape->SetLineWidth(0);
        shape->SetDefineOnly(true);  // defined on the movie's timeline, placed by the sprite
        frame.AddObject(*shape);
        return static_cast<uint16_t>(shape->ID());
    };
    const uint16_t left = bar(8, kRed), middle = bar(48, kBlue), right = bar(88, kGreen);

    const auto place = [](uint16_t depth, uint16_t id) {
        return std::make_unique<FCTPlaceObject2>(false, false, true, false, depth, id, nullptr, nullptr, 0,
                                                 nullptr, 0);
    };
    auto sprite = std::make_unique<FDTDefineSprite>();
    sprite->AddControlTag(place(1, left));
    sprite->AddControlTag(std::make_unique<FCTShowFrame>());
    sprite->AddControlTag(place(2, middle));
    sprite->AddControlTag(std::make_unique<FCTShowFrame>());
    sprite->AddControlTag(std::make_unique<FCTRemoveObject2>(1));
    sprite->AddControlTag(place(3, right));
    auto stop = std::make_unique<FCTDoAction>();
    stop->AddAction(std::make_unique<FActionStop>());
    sprite->AddControlTag(std::move(stop));
    sprite->AddControlTag(std::make_unique<FCTShowFrame>());

    const Cell cell{3, 3};
    const uint16_t id = sprite->ID();
    frame.Tags().push_back(std::move(sprite));
    frame.Tags().push_back(std::make_unique<FCTPlaceObject2>(
        false, false, true, false, kSpriteDepth, id,
        std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, cell.X(0), cell.Y(0)), nullptr, 0, nullptr, 0));
}

// A morph shape from a 30 x 80 bar on the left of its cell to the same bar on
// the right, blue to amber, with a line that widens, placed at ratios 0, 1/2
// and 1 in cells (0, 4), (1, 4) and (2, 4).
void AddMorphs(HFFrame& frame)
{
    auto morph = std::make_unique<FDTDefineMorphShape>(FRect(Px(10), Px(10), Px(40), Px(90)),
                                                       FRect(Px(80), Px(10), Px(110), Px(90)));
    const uint32_t fill = morph->AddFillStyle(
        std::make_unique<FMorphFillStyleSolid>(FColor(0x20, 0x60, 0xE0, 0xFF), FColor(0xE0, 0xA0, 0x20, 0xFF)));
    const uint32_t line = morph->AddLineStyle(20, FColor(0, 0, 0, 0xFF), 60, FColor(0x90, 0x10, 0x10, 0xFF));
    morph->FinishStyleArrays();

    const auto edges = [](auto add) {
        add(std::make_unique<FStraightEdgeRecord>(Px(30), 0));
        add(std::make_unique<FStraightEdgeRecord>(0, Px(80)));
        add(std::make_unique<FStraightEdgeRecord>(-Px(30), 0));
        add(std::make_unique<FStraightEdgeRecord>(0, -Px(80)));
        add(std::make_unique<FEndShapeRecord>());
    };
    FDTDefineMorphShape* tag = morph.get();
    tag->AddStartShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, false, true, Px(10), Px(10),
                                                                  0, fill, line));
    edges([tag](std::unique_ptr<FShapeRecord> r) { tag->AddStartShapeRecord(std::move(r)); });
    tag->AddEndShapeRecord(
        std::make_unique<FStyleChangeRecord>(false, false, false, false, true, Px(80), Px(10), 0, 0, 0));
    edges([tag](std::unique_ptr<FShapeRecord> r) { tag->AddEndShapeRecord(std::move(r)); });

    const uint16_t id = morph->ID();
    frame.Tags().push_back(std::move(morph));
    const uint16_t ratios[] = {0, 32768, 65535};
    for (uint16_t i = 0; i < 3; ++i) {
        const Cell cell{i, 4};
        frame.Tags().push_back(std::make_unique<FCTPlaceObject2>(
            false, /*hasRatio*/ true, true, false, static_cast<uint16_t>(kMorphDepth + i), id,
            std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, cell.X(0), cell.Y(0)), nullptr, ratios[i],
            nullptr, 0));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string wavName;
    std::string jpegName;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--wav" || argument == "--jpeg") {
            if (i + 1 >= argc) return Usage("option '" + std::string(argument) + "' needs a file");
            (argument == "--wav" ? wavName : jpegName) = argv[++i];
        } else if (argument.size() > 1 && argument[0] == '-') {
            return Usage("unknown option '" + std::string(argument) + "'");
        } else {
            names.emplace_back(argument);
        }
    }
    if (names.size() != 1) return Usage("expected one output file");
    const std::string& output = names[0];

    if (jpegName.empty()) jpegName = DefaultJPEG();
    const std::optional<std::vector<uint8_t>> jpeg = ReadWhole(jpegName);
    if (!jpeg) return Fail("cannot read '" + jpegName + "': " + std::strerror(errno));
    const auto jpegSize = JPEGSize(*jpeg);
    if (!jpegSize) return Fail("'" + jpegName + "' is not a JPEG image with a frame header");

    // The sound is encoded when it is built; a WAV file is read and closed here.
    std::unique_ptr<HFSound> sound;
    if (wavName.empty()) {
        const std::vector<int16_t> chord = Chord();
        sound = std::make_unique<HFSound>(2, 1, 0, static_cast<uint32_t>(chord.size()), chord.data(),
                                          static_cast<uint32_t>(chord.size() * 2), 4);
    } else {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(wavName.c_str(), "rb"));
        if (!file) return Fail("cannot open '" + wavName + "': " + std::strerror(errno));
        sound = std::make_unique<HFSound>(file.get(), 4);
        if (sound->Refused()) return Fail("'" + wavName + "' refused: " + sound->Refusal());
    }

    HFMovie movie;
    movie.SetSize(Px(kColumns * kCellWidth), Px(kRows * kCellHeight));
    movie.SetFrameRate(12);
    HFFrame& frame = *movie.Frame(0);
    frame.SetBackgroundColor(kBackground);

    HFFont font("gallery");
    AddGlyphs(font);

    AddSolidShapes(frame);
    AddGradients(frame);
    AddBitmaps(frame, *jpeg, *jpegSize);
    AddPlacementsButtonAndText(frame, font);
    AddSprite(frame);
    AddMorphs(frame);

    HFEditText field(Px(10), Px(5 * kCellHeight + 20), Px(kColumns * kCellWidth - 10), Px(5 * kCellHeight + 80),
                     "Every object of the library");
    field.SetTextColor(FColor(0x10, 0x30, 0xC0, 0xFF));
    frame.AddObject(field);

    frame.AddObject(*sound);
    frame.AddAction(HFActionStop());

    // Frame 1, reached through the button: a marker, and a stop.
    HFFrame& clicked = *movie.Frame(1);
    const Cell marker{3, 4};
    HFRectangle done(marker.X(14), marker.Y(14), marker.X(114), marker.Y(86));
    done.SetSolidFill(kLime);
    done.SetLineWidth(0);
    clicked.AddObject(done);
    clicked.AddAction(HFActionStop());

    std::string error;
    if (!movie.WriteMovie(output, &error)) return Fail("cannot write '" + output + "': " + error);
    std::printf("gallery: wrote '%s' (%d x %d pixels, 2 frames; JPEG '%s' %d x %d; sound %s)\n", output.c_str(),
                kColumns * kCellWidth, kRows * kCellHeight, jpegName.c_str(), jpegSize->first, jpegSize->second,
                wavName.empty() ? "made in memory" : wavName.c_str());
    return 0;
}
