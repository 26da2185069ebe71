#include "swf/fswfreader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

using Bytes = std::vector<uint8_t>;

// 21 bytes whose frame rectangle declares 31-bit fields: 129 bits of
// rectangle where 13 bytes are left. (swfinfo used to read past its buffer.)
Bytes RectangleLongerThanTheFile()
{
    Bytes bytes = {'F', 'W', 'S', 4, 21, 0, 0, 0};  // signature, version, file length
    bytes.resize(21, 0xFF);                          // field width 31, then ones
    return bytes;
}

TEST(SWFReader, FieldsPastTheEndAreRefusedNotRead)
{
    const Bytes bytes = {0xAB, 0xCD};
    FSWFBitReader reader(bytes);
    EXPECT_EQ(reader.Unsigned(4), 0xAu);
    EXPECT_EQ(reader.Unsigned(12), 0xBCDu);
    EXPECT_FALSE(reader.Truncated());
    EXPECT_EQ(reader.Unsigned(1), 0u);
    EXPECT_TRUE(reader.Truncated());

    // A field that straddles the end is missing as a whole, and stays so.
    FSWFBitReader straddling(bytes, 1);
    EXPECT_EQ(straddling.Word(), 0u);
    EXPECT_TRUE(straddling.Truncated());
    EXPECT_EQ(straddling.BitsLeft(), 0u);
    EXPECT_EQ(straddling.Byte(), 0u);
    EXPECT_TRUE(straddling.Truncated());

    const Bytes signs = {0xF0};
    FSWFBitReader signedFields(signs);
    EXPECT_EQ(signedFields.Signed(4), -1);
    EXPECT_EQ(signedFields.Signed(4), 0);
}

TEST(SWFReader, HeaderCutShortOrForeign)
{
    FSWFHeaderInfo header;
    EXPECT_EQ(FReadSWFHeader(RectangleLongerThanTheFile(), &header), FSWFRead::HeaderCutShort);
    EXPECT_EQ(header.rectBits, 31u);
    EXPECT_EQ(FReadSWFHeader(Bytes{'F', 'W', 'S'}, &header), FSWFRead::HeaderCutShort);
    EXPECT_EQ(FReadSWFHeader(Bytes{'C', 'W', 'S', 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &header), FSWFRead::NotSWF);
    EXPECT_EQ(FReadSWFHeader(Bytes{}, &header), FSWFRead::NotSWF);

    // The smallest whole header: empty rectangle, 12 fps, 1 frame.
    const Bytes smallest = {'F', 'W', 'S', 4, 13, 0, 0, 0, 0x00, 0x00, 12, 1, 0};
    ASSERT_EQ(FReadSWFHeader(smallest, &header), FSWFRead::Whole);
    EXPECT_EQ(header.frameRate, 12u);
    EXPECT_EQ(header.frameCount, 1u);
    EXPECT_EQ(header.tagsOffset, 13u);
}

TEST(SWFReader, TagHeadersAndBodiesCutShort)
{
    FSWFTagInfo tag;
    // ShowFrame (code 1, short header), whole.
    const Bytes showFrame = {0x40, 0x00};
    ASSERT_EQ(FReadSWFTagHeader(showFrame, 0, &tag), FSWFRead::Whole);
    EXPECT_EQ(tag.code, 1u);
    EXPECT_EQ(tag.NextOffset(), 2u);

    EXPECT_EQ(FReadSWFTagHeader(Bytes{0x40}, 0, &tag), FSWFRead::HeaderCutShort);
    EXPECT_EQ(FReadSWFTagHeader(showFrame, 2, &tag), FSWFRead::HeaderCutShort);
    EXPECT_EQ(FReadSWFTagHeader(showFrame, 9, &tag), FSWFRead::HeaderCutShort);
    // A long header whose length field is cut short.
    EXPECT_EQ(FReadSWFTagHeader(Bytes{0x7F, 0x00, 0x01, 0x00}, 0, &tag), FSWFRead::HeaderCutShort);
    // A short header announcing 3 bytes where 2 are.
    EXPECT_EQ(FReadSWFTagHeader(Bytes{0x83, 0x02, 'a', 'b'}, 0, &tag), FSWFRead::BodyCutShort);
    EXPECT_EQ(tag.code, 10u);
    // The largest length a long header can give is no overflow.
    ASSERT_EQ(FReadSWFTagHeader(Bytes{0x7F, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, 0, &tag), FSWFRead::BodyCutShort);
    EXPECT_EQ(tag.length, 0xFFFFFFFFu);
}

TEST(SwfInfo, ARectangleLongerThanTheFileIsReportedAsTruncated)
{
    swftest::Scratch scratch("swfinfo");
    const Bytes bytes = RectangleLongerThanTheFile();
    scratch.Write("short.bin", std::string(bytes.begin(), bytes.end()));
    const swftest::RunResult run = scratch.Run(SWFINFO_BINARY, {"short.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "swfinfo: 'short.bin' is truncated\n");
}

TEST(SwfInfo, ATagCutShortIsListedThenReported)
{
    swftest::Scratch scratch("swfinfo-tag");
    const Bytes bytes = {'F', 'W', 'S', 4, 19, 0, 0, 0, 0x00, 0x00, 12, 1, 0,  // header, empty rectangle
                         0x40, 0x00,                                          // ShowFrame
                         0x83, 0x02, 'a', 'b'};  // DefineFont of 3 bytes, cut short
    scratch.Write("cut.bin", std::string(bytes.begin(), bytes.end()));
    const swftest::RunResult run = scratch.Run(SWFINFO_BINARY, {"cut.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "cut.bin: version 4, 19 bytes (header says 19), 0 x 0 twips, 1 frames at 12 fps\n"
              "frame 0: ShowFrame(0)\nframe 1: DefineFont(3)\n");
    EXPECT_EQ(run.err, "swfinfo: 'cut.bin' is truncated\n");
}

}  // namespace
