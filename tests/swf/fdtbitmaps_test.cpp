#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "swf/fdtbitmaps.h"
#include "support/swf_reader.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A stand-in JPEG file: start-of-image, filler, end-of-image.
Bytes FakeJPEG(size_t size)
{
    Bytes data(size, 0x55);
    data[0] = 0xFF, data[1] = 0xD8, data[size - 2] = 0xFF, data[size - 1] = 0xD9;
    return data;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + count));
}

}  // namespace

TEST(BitmapTags, DefineBitsJPEG2Framing)
{
    FResetCharacterID();
    const Bytes jpeg = FakeJPEG(1000);
    FDTDefineBitsJPEG2 tag(jpeg.data(), 1000);
    EXPECT_EQ(tag.ID(), 1);
    FSWFStream stream;
    tag.Write(stream);

    // The image travels as a borrowed block, not as stream bytes.
    ASSERT_EQ(stream.DeferredBlocks().size(), 1u);
    EXPECT_EQ(stream.DeferredBlocks()[0].data, jpeg.data());
    EXPECT_EQ(stream.DeferredBlocks()[0].size, 1000);
    EXPECT_EQ(stream.DeferredBlocks()[0].position, 12u);
    EXPECT_EQ(stream.ByteCount(), 14u);

    const Bytes bytes = StreamBytes(stream);
    ASSERT_EQ(bytes.size(), 6u + 1008);
    EXPECT_EQ(Slice(bytes, 0, 14), (Bytes{
        0x7F, 0x05,              // code 21, long form
        0xF0, 0x03, 0x00, 0x00,  // body length 1008 = 1000 + 8
        0x01, 0x00,              // character ID 1
        0xFF, 0xD9, 0xFF, 0xD8,  // empty table section
        0xFF, 0xD8,              // the file's own start-of-image
    }));
    EXPECT_EQ(Slice(bytes, bytes.size() - 4, 4), (Bytes{0xFF, 0xD9, 0xFF, 0xD9}));  // file's end, tag's end
}

TEST(BitmapTags, SmallJPEGTagsKeepTheLongHeader)
{
    const Bytes jpeg = FakeJPEG(10);
    FSWFStream stream;
    FDTDefineBitsJPEG2(jpeg.data(), 10).Write(stream);
    FDTDefineBits(10, jpeg.data()).Write(stream);
    const Bytes bytes = StreamBytes(stream);
    EXPECT_EQ(Slice(bytes, 0, 6), (Bytes{0x7F, 0x05, 0x12, 0x00, 0x00, 0x00}));  // code 21, length 18
    EXPECT_EQ(Slice(bytes, 24, 6), (Bytes{0xBF, 0x01, 0x0C, 0x00, 0x00, 0x00}));  // code 6, length 12
    EXPECT_EQ(bytes.size(), 24u + 18);
}

TEST(BitmapTags, DefineBitsJPEG3AlphaOffset)
{
    FResetCharacterID();
    const Bytes jpeg = FakeJPEG(500);
    const Bytes alpha(20, 0xAA);
    FSWFStream stream;
    FDTDefineBitsJPEG3(jpeg.data(), 500, alpha.data(), 20).Write(stream);
    EXPECT_EQ(stream.DeferredBlocks().size(), 2u);
    const Bytes bytes = StreamBytes(stream);
    ASSERT_EQ(bytes.size(), 6u + 532);
    EXPECT_EQ(Slice(bytes, 0, 16), (Bytes{
        0xFF, 0x08,              // code 35, long form
        0x14, 0x02, 0x00, 0x00,  // body length 532
        0x01, 0x00,              // character ID 1
        0xFA, 0x01, 0x00, 0x00,  // alpha offset 506 = 500 + 6
        0xFF, 0xD9, 0xFF, 0xD8,  // empty table section
    }));
    // The alpha data starts 506 bytes after the offset field.
    EXPECT_EQ(Slice(bytes, 12 + 504, 2), (Bytes{0xFF, 0xD9}));
    EXPECT_EQ(Slice(bytes, 12 + 506, 20), alpha);
}

TEST(BitmapTags, JPEGTablesDefinesNoCharacter)
{
    FResetCharacterID();
    const Bytes tables(10, 0x11);
    FDTJPEGTables tag(10, tables.data());
    FDTDefineBits bits(10, tables.data());
    EXPECT_EQ(bits.ID(), 1);  // the tables drew no ID
    FSWFStream stream;
    tag.Write(stream);
    EXPECT_EQ(Slice(StreamBytes(stream), 0, 2), (Bytes{0x0A, 0x02}));  // code 8, length 10, short form

    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(tag.ID(), "Assertion failed: 0,");
}

TEST(BitmapTags, LosslessColourMapped)
{
    FResetCharacterID();
    const Bytes table = {10, 20, 30, 40, 50, 60};  // two RGB entries
    const Bytes pixels = {0, 1, 1, 0, 1, 0, 0, 1};  // 4 x 2, 8 bits each
    FDTDefineBitsLossless tag(3, 4, 2, 2, table.data(), pixels.data(), false);
    FSWFStream stream;
    tag.Write(stream);
    const Bytes bytes = StreamBytes(stream);
    BitReader reader(bytes);
    EXPECT_EQ(reader.Word(), (20u << 6) | 63);           // code 20, long form
    EXPECT_EQ(reader.DWord(), bytes.size() - 6);         // body length
    EXPECT_EQ(reader.Word(), 1u);                        // character ID
    EXPECT_EQ(reader.Byte(), 3u);                        // format
    EXPECT_EQ(reader.Word(), 4u);                        // width
    EXPECT_EQ(reader.Word(), 2u);                        // height
    EXPECT_EQ(reader.Byte(), 1u);                        // table size - 1
    const Bytes payload(bytes.begin() + 14, bytes.end());
    EXPECT_EQ(payload, tag.CompressedData());

    Bytes expected = table;
    expected.insert(expected.end(), pixels.begin(), pixels.end());
    EXPECT_EQ(swftest::Inflate(payload, 14), expected);
}

TEST(BitmapTags, LosslessWithAlpha)
{
    // 32-bit pixels: no table, no table-size byte; code 36.
    const Bytes pixels = {255, 1, 2, 3, 128, 4, 5, 6, 0, 7, 8, 9, 64, 10, 11, 12};
    FDTDefineBitsLossless2 tag(5, 2, 2, 0, nullptr, pixels.data());
    FSWFStream stream;
    tag.Write(stream);
    const Bytes bytes = StreamBytes(stream);
    EXPECT_EQ(Slice(bytes, 0, 2), (Bytes{0x3F, 0x09}));  // code 36, long form
    EXPECT_EQ(Slice(bytes, 9, 4), (Bytes{0x02, 0x00, 0x02, 0x00}));  // width, height
    EXPECT_EQ(swftest::Inflate(Bytes(bytes.begin() + 13, bytes.end()), 16), pixels);

    // A colour-mapped image with alpha has RGBA table entries.
    const Bytes table = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes indices = {0, 1, 1, 0};
    FDTDefineBitsLossless mapped(3, 4, 1, 2, table.data(), indices.data(), true);
    Bytes expected = table;
    expected.insert(expected.end(), indices.begin(), indices.end());
    EXPECT_EQ(swftest::Inflate(mapped.CompressedData(), 12), expected);
    FSWFStream mappedStream;
    mapped.Write(mappedStream);
    EXPECT_EQ(Slice(StreamBytes(mappedStream), 0, 2), (Bytes{0x3F, 0x09}));
}

TEST(BitmapTags, LosslessFromCompressedBytesWritesThemAsGiven)
{
    // Compressed elsewhere: the same fields as the compressing constructor,
    // the caller's stream as the payload, and the same tag for the same bytes.
    FResetCharacterID();
    const Bytes table = {10, 20, 30, 40, 50, 60};
    const Bytes pixels = {0, 1, 1, 0, 1, 0, 0, 1};
    FDTDefineBitsLossless made(3, 4, 2, 2, table.data(), pixels.data(), false);
    Bytes compressed = made.CompressedData();
    FResetCharacterID();
    FDTDefineBitsLossless given(3, 4, 2, 2, false, std::move(compressed));
    FSWFStream madeStream, givenStream;
    made.Write(madeStream);
    given.Write(givenStream);
    EXPECT_EQ(StreamBytes(givenStream), StreamBytes(madeStream));

    // Lossless2 from compressed bytes: code 36, no table-size byte for format 5.
    const Bytes argb = {128, 64, 32, 16};
    uLongf size = compressBound(4);
    Bytes stream(size);
    ASSERT_EQ(compress2(stream.data(), &size, argb.data(), 4, 1), Z_OK);
    stream.resize(size);
    const Bytes expectedPayload = stream;
    FDTDefineBitsLossless2 translucent(5, 1, 1, 0, std::move(stream));
    FSWFStream out;
    translucent.Write(out);
    const Bytes bytes = StreamBytes(out);
    EXPECT_EQ(Slice(bytes, 0, 2), (Bytes{0x3F, 0x09}));
    EXPECT_EQ(Slice(bytes, 8, 5), (Bytes{5, 1, 0, 1, 0}));  // format, width, height
    EXPECT_EQ(Bytes(bytes.begin() + 13, bytes.end()), expectedPayload);
}

TEST(BitmapTagsDeathTest, LosslessFromNoCompressedBytes)
{
    // An empty payload would stop the program only at the write, far from its cause.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(FDTDefineBitsLossless(5, 1, 1, 0, false, Bytes{}),
                 "Assertion failed: !compressedData.empty\\(\\),");
}

TEST(BitmapTagsDeathTest, LosslessFormatBeyond32BitPixels)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const Bytes pixels(64, 0);
    EXPECT_DEATH(FDTDefineBitsLossless(6, 1, 1, 0, nullptr, pixels.data(), false),
                 "Assertion failed: format <= 5,");
}
