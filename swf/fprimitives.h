#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <string>

#include "swf/fswfstream.h"

// Small records shared by many tags. Each writes itself at the stream's
// current position; coordinates and translations are in twips.

// Twips are the unit of every coordinate and size in a movie: a pixel is 20.
inline constexpr int32_t FTwipsPerPixel = 20;

// RGB, or RGBA when `hasAlpha`; channels 0 to 255.
class FColor {
public:
    FColor(int32_t red, int32_t green, int32_t blue);
    FColor(int32_t red, int32_t green, int32_t blue, int32_t alpha);
    // From 0xAABBGGRR: red in the low byte. Alpha only `withAlpha`, else 255.
    explicit FColor(uint32_t packed, bool withAlpha = false);

    void SetHasAlpha(bool flag) { hasAlpha = flag; }
    bool HasAlpha() const { return hasAlpha; }
    int32_t Red() const { return red; }
    int32_t Green() const { return green; }
    int32_t Blue() const { return blue; }
    int32_t Alpha() const { return alpha; }

    void Write(FSWFStream& stream) const;

private:
    int32_t red;
    int32_t green;
    int32_t blue;
    int32_t alpha;
    bool hasAlpha;
};

// Note the argument order: both minima first.
class FRect {
public:
    FRect(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax)
        : xmin(xmin), xmax(xmax), ymin(ymin), ymax(ymax) {}

    uint32_t BitCount() const;
    void Write(FSWFStream& stream) const;

    int32_t XMin() const { return xmin; }
    int32_t XMax() const { return xmax; }
    int32_t YMin() const { return ymin; }
    int32_t YMax() const { return ymax; }

private:
    int32_t xmin;
    int32_t xmax;
    int32_t ymin;
    int32_t ymax;
};

// Scale and rotate/skew values are 16.16 fixed point; translations in twips.
class FMatrix {
public:
    FMatrix() = default;  // the identity: one zero byte
    FMatrix(bool hasScale, int32_t scaleX, int32_t scaleY, bool hasRotate, int32_t rotateSkew0,
            int32_t rotateSkew1, int32_t translateX, int32_t translateY);

    void Write(FSWFStream& stream) const;

private:
    bool hasScale = false;
    uint32_t scaleBits = 0;
    int32_t scaleX = 0;
    int32_t scaleY = 0;
    bool hasRotate = false;
    uint32_t rotateBits = 0;
    int32_t rotateSkew0 = 0;
    int32_t rotateSkew1 = 0;
    uint32_t translateBits = 0;
    int32_t translateX = 0;
    int32_t translateY = 0;
    bool identity = true;
};

// Colour transform; multiply terms 8.8 fixed point, add terms plain integers.
class FCXForm {
public:
    virtual ~FCXForm() = default;
    virtual void Write(FSWFStream& stream) const = 0;
};

// The CXFORM record: multiply and add terms for red, green and blue.
class FCXFormNoAlpha : public FCXForm {
public:
    FCXFormNoAlpha(bool hasAdd, bool hasMult, int32_t redMult, int32_t greenMult, int32_t blueMult,
                   int32_t redAdd, int32_t greenAdd, int32_t blueAdd);
    void Write(FSWFStream& stream) const override;

private:
    bool hasAdd;
    bool hasMult;
    uint32_t bits;
    int32_t redMult, greenMult, blueMult;
    int32_t redAdd, greenAdd, blueAdd;
};

// The CXFORMWITHALPHA record: multiply and add terms for all four channels.
class FCXFormWAlpha : public FCXForm {
public:
    FCXFormWAlpha(bool hasAdd, bool hasMult, int32_t redMult, int32_t greenMult, int32_t blueMult,
                  int32_t alphaMult, int32_t redAdd, int32_t greenAdd, int32_t blueAdd,
                  int32_t alphaAdd);
    void Write(FSWFStream& stream) const override;

private:
    bool hasAdd;
    bool hasMult;
    uint32_t bits;
    int32_t redMult, greenMult, blueMult, alphaMult;
    int32_t redAdd, greenAdd, blueAdd, alphaAdd;
};

// A byte string, written byte for byte without any conversion.
class FString {
public:
    explicit FString(const char* text) : text(text ? text : "") {}
    explicit FString(std::string text) : text(std::move(text)) {}

    // The bytes, then a zero byte when `terminate`.
    void Write(FSWFStream& stream, bool terminate) const;
    size_t Length() const { return text.size(); }
    const std::string& Text() const { return text; }

private:
    std::string text;
};
