#include "swf/fprimitives.h"

#include <algorithm>
#include <initializer_list>

FColor::FColor(int32_t red, int32_t green, int32_t blue)
    : red(red), green(green), blue(blue), alpha(255), hasAlpha(false) {}

FColor::FColor(int32_t red, int32_t green, int32_t blue, int32_t alpha)
    : red(red), green(green), blue(blue), alpha(alpha), hasAlpha(true) {}

FColor::FColor(uint32_t packed, bool withAlpha)
    : red(packed & 0xFF),
      green((packed >> 8) & 0xFF),
      blue((packed >> 16) & 0xFF),
      alpha(withAlpha ? static_cast<int32_t>(packed >> 24) : 255),
      hasAlpha(withAlpha) {}

void FColor::Write(FSWFStream& stream) const
{
    stream.WriteByte(static_cast<uint32_t>(red));
    stream.WriteByte(static_cast<uint32_t>(green));
    stream.WriteByte(static_cast<uint32_t>(blue));
    if (hasAlpha) stream.WriteByte(static_cast<uint32_t>(alpha));
}

uint32_t FRect::BitCount() const
{
    return BitsNeeded(static_cast<uint32_t>(MaxAbs4(xmin, xmax, ymin, ymax)), 1);
}

void FRect::Write(FSWFStream& stream) const
{
    const uint32_t bits = BitCount();
    stream.WriteBits(bits, 5);
    stream.WriteBits(static_cast<uint32_t>(xmin), bits);
    stream.WriteBits(static_cast<uint32_t>(xmax), bits);
    stream.WriteBits(static_cast<uint32_t>(ymin), bits);
    stream.WriteBits(static_cast<uint32_t>(ymax), bits);
    stream.FlushBits();
}

namespace {
// Both values of a pair share one signed field width.
uint32_t PairBits(int32_t a, int32_t b)
{
    return BitsNeeded(static_cast<uint32_t>(MaxAbs4(a, b, 0, 0)), 1);
}
// Both colour-transform forms: the flags, the count, the multiply terms, the
// add terms, each present only when its flag is set.
void WriteColorTransform(FSWFStream& stream, bool hasAdd, bool hasMult, uint32_t bits,
                         std::initializer_list<int32_t> multiplyTerms, std::initializer_list<int32_t> addTerms)
{
    stream.WriteBits(hasAdd ? 1 : 0, 1);
    stream.WriteBits(hasMult ? 1 : 0, 1);
    stream.WriteBits(bits, 4);
    if (hasMult) {
        for (int32_t term : multiplyTerms) stream.WriteBits(static_cast<uint32_t>(term), bits);
    }
    if (hasAdd) {
        for (int32_t term : addTerms) stream.WriteBits(static_cast<uint32_t>(term), bits);
    }
    stream.FlushBits();
}

}  // namespace

FMatrix::FMatrix(bool hasScale, int32_t scaleX, int32_t scaleY, bool hasRotate, int32_t rotateSkew0,
                 int32_t rotateSkew1, int32_t translateX, int32_t translateY)
    : hasScale(hasScale),
      scaleBits(PairBits(scaleX, scaleY)),
      scaleX(scaleX),
      scaleY(scaleY),
      hasRotate(hasRotate),
      rotateBits(PairBits(rotateSkew0, rotateSkew1)),
      rotateSkew0(rotateSkew0),
      rotateSkew1(rotateSkew1),
      translateBits(PairBits(translateX, translateY)),
      translateX(translateX),
      translateY(translateY),
      identity(false) {}

void FMatrix::Write(FSWFStream& stream) const
{
    if (identity) {
        stream.WriteByte(0);
        return;
    }
    stream.WriteBits(hasScale ? 1 : 0, 1);
    if (hasScale) {
        stream.WriteBits(scaleBits, 5);
        stream.WriteBits(static_cast<uint32_t>(scaleX), scaleBits);
        stream.WriteBits(static_cast<uint32_t>(scaleY), scaleBits);
    }
    stream.WriteBits(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        stream.WriteBits(rotateBits, 5);
        stream.WriteBits(static_cast<uint32_t>(rotateSkew0), rotateBits);
        stream.WriteBits(static_cast<uint32_t>(rotateSkew1), rotateBits);
    }
    stream.WriteBits(translateBits, 5);
    stream.WriteBits(static_cast<uint32_t>(translateX), translateBits);
    stream.WriteBits(static_cast<uint32_t>(translateY), translateBits);
    stream.FlushBits();
}

FCXFormNoAlpha::FCXFormNoAlpha(bool hasAdd, bool hasMult, int32_t redMult, int32_t greenMult,
                               int32_t blueMult, int32_t redAdd, int32_t greenAdd, int32_t blueAdd)
    : hasAdd(hasAdd),
      hasMult(hasMult),
      bits(BitsNeeded(static_cast<uint32_t>(MaxAbs4(MaxAbs4(redMult, greenMult, blueMult, redAdd),
                                                    greenAdd, blueAdd, 0)),
                      1)),
      redMult(redMult),
      greenMult(greenMult),
      blueMult(blueMult),
      redAdd(redAdd),
      greenAdd(greenAdd),
      blueAdd(blueAdd) {}

void FCXFormNoAlpha::Write(FSWFStream& stream) const
{
    WriteColorTransform(stream, hasAdd, hasMult, bits, {redMult, greenMult, blueMult}, {redAdd, greenAdd, blueAdd});
}

FCXFormWAlpha::FCXFormWAlpha(bool hasAdd, bool hasMult, int32_t redMult, int32_t greenMult,
                             int32_t blueMult, int32_t alphaMult, int32_t redAdd, int32_t greenAdd,
                             int32_t blueAdd, int32_t alphaAdd)
    : hasAdd(hasAdd),
      hasMult(hasMult),
      bits(BitsNeeded(static_cast<uint32_t>(MaxAbs4(MaxAbs4(redMult, greenMult, blueMult, alphaMult),
                                                    MaxAbs4(redAdd, greenAdd, blueAdd, alphaAdd), 0, 0)),
                      1)),
      redMult(redMult),
      greenMult(greenMult),
      blueMult(blueMult),
      alphaMult(alphaMult),
      redAdd(redAdd),
      greenAdd(greenAdd),
      blueAdd(blueAdd),
      alphaAdd(alphaAdd) {}

void FCXFormWAlpha::Write(FSWFStream& stream) const
{
    WriteColorTransform(stream, hasAdd, hasMult, bits, {redMult, greenMult, blueMult, alphaMult},
                        {redAdd, greenAdd, blueAdd, alphaAdd});
}

void FString::Write(FSWFStream& stream, bool terminate) const
{
    for (char c : text) stream.WriteByte(static_cast<uint8_t>(c));
    if (terminate) stream.WriteByte(0);
}
