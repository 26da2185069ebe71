#include "swf/fprimitives.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

template <typename Record, typename... Extra>
Bytes Written(const Record& record, Extra... extra)
{
    FSWFStream stream;
    record.Write(stream, extra...);
    stream.FlushBits();
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

TEST(Color, RGBAndRGBA)
{
    EXPECT_EQ(Written(FColor(0xffcdcdcdu, true)), (Bytes{0xCD, 0xCD, 0xCD, 0xFF}));
    EXPECT_EQ(Written(FColor(0xffcdcdcdu)), (Bytes{0xCD, 0xCD, 0xCD}));
    EXPECT_EQ(Written(FColor(0x00332211u, true)), (Bytes{0x11, 0x22, 0x33, 0x00}));  // red in the low byte
    EXPECT_EQ(Written(FColor(1, 2, 3)), (Bytes{1, 2, 3}));
    EXPECT_EQ(Written(FColor(1, 2, 3, 4)), (Bytes{1, 2, 3, 4}));
    FColor color(1, 2, 3, 4);
    color.SetHasAlpha(false);
    EXPECT_EQ(Written(color), (Bytes{1, 2, 3}));
}

TEST(Rect, EmptyRectangle)
{
    EXPECT_EQ(Written(FRect(0, 0, 0, 0)), (Bytes{0x08, 0x00}));
}

TEST(Rect, ValuesInTheOrderXminXmaxYminYmax)
{
    // FRect(20, 20, 400, 300): count 10, then 20, 400, 20, 300 in ten bits each.
    // 01010 0000010100 0110010000 0000010100 0100101100, then three zero bits.
    const Bytes expected{0x50, 0x28, 0xC8, 0x02, 0x89, 0x60};
    EXPECT_EQ(FRect(20, 20, 400, 300).BitCount(), 10u);
    EXPECT_EQ(Written(FRect(20, 20, 400, 300)), expected);
}

TEST(Matrix, IdentityAndZeroTranslation)
{
    EXPECT_EQ(Written(FMatrix()), (Bytes{0x00}));
    EXPECT_EQ(Written(FMatrix(false, 0, 0, false, 0, 0, 0, 0)), (Bytes{0x02, 0x00}));
}

TEST(Matrix, ScaleRotateAndTranslate)
{
    // has scale 1, count 18, 65536 and 65536; has rotate 1, count 2, 1 and -1;
    // translate count 6, 20 and -16 (the pair rule gives -16 six bits).
    FSWFStream stream;
    FMatrix(true, 65536, 65536, true, 1, -1, 20, -16).Write(stream);
    const Bytes bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
    // 1 10010 010000000000000000 010000000000000000 1 00010 01 11 00110 010100 110000 pad
    const Bytes expected{0xC9, 0x00, 0x00, 0x40, 0x00, 0x22, 0x73, 0x29, 0x80};
    EXPECT_EQ(bytes, expected);
}

TEST(ColorTransform, BitCountsAndFlags)
{
    EXPECT_EQ(Written(FCXFormWAlpha(false, false, 0, 0, 0, 0, 0, 0, 0, 0)), (Bytes{0x04}));
    // Terms whose flag is 0 still count: the unused multiply term 256 makes the
    // count 10. has add 1, has mult 0, count 1010, then 1, 2, 3 in ten bits each.
    EXPECT_EQ(Written(FCXFormNoAlpha(true, false, 256, 0, 0, 1, 2, 3)),
              (Bytes{0xA8, 0x01, 0x00, 0x80, 0x30}));
}

TEST(String, TerminatedOrNot)
{
    EXPECT_EQ(Written(FString(""), true), (Bytes{0x00}));
    EXPECT_EQ(Written(FString(""), false), Bytes{});
    EXPECT_EQ(Written(FString("Ab\xE9"), true), (Bytes{'A', 'b', 0xE9, 0x00}));
}

}  // namespace
