#include "swf/fswfstream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/swf_reader.h"
#include "swf/fdtsounds.h"
#include "swf/fdtsprite.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Complete(const FSWFStream& stream)
{
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

Bytes InMemory(FSWFStream& stream)
{
    Bytes bytes(stream.Size());
    stream.WriteToMemory(bytes.data());
    return bytes;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + name;
}

TEST(StreamBits, FillsEachByteFromItsHighBit)
{
    FSWFStream stream;
    stream.WriteBits(5, 3);   // 101
    stream.WriteBits(1, 5);   // 00001
    stream.WriteBits(31, 5);  // 11111, then flushed with zero bits
    stream.FlushBits();
    EXPECT_EQ(Complete(stream), (Bytes{0xA1, 0xF8}));
}

TEST(StreamBits, NegativeValuesAreWrittenAsTheirLowBits)
{
    FSWFStream stream;
    stream.WriteBits(static_cast<uint32_t>(-1), 4);
    stream.WriteBits(static_cast<uint32_t>(-8), 4);
    stream.WriteBits(0xDEADBEEF, 32);
    EXPECT_EQ(Complete(stream), (Bytes{0xF8, 0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(StreamBits, ByteWritesStraddleWhenNotAligned)
{
    FSWFStream stream;
    stream.WriteBits(7, 3);     // 111
    stream.WriteByte(0xAB);     // 10101 011: upper five bits here, lower three in the next byte
    EXPECT_EQ(Complete(stream), (Bytes{0xF5}));
    EXPECT_FALSE(stream.IsAligned());
    stream.FlushBits();
    EXPECT_EQ(Complete(stream), (Bytes{0xF5, 0x60}));
}

TEST(StreamBits, WordsAndDoubleWordsAreLittleEndian)
{
    FSWFStream stream;
    stream.WriteWord(0x1234);
    stream.WriteDWord(0x89ABCDEF);
    EXPECT_EQ(Complete(stream), (Bytes{0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89}));
}

TEST(StreamBits, FlushOnAnAlignedStreamWritesNothing)
{
    FSWFStream stream;
    stream.FlushBits();
    EXPECT_EQ(stream.Size(), 0u);
}

using StreamDeathTest = ::testing::Test;

TEST(StreamDeathTest, ValuesThatDoNotFitTheirFieldStop)
{
    const char* text = "\\( data <= \\(0x01<<size\\) - 1 \\) \\|\\| \\( -\\(S32\\)\\(data\\) <= \\(0x01<<size\\) - 1 \\)";
    FSWFStream stream;
    EXPECT_DEATH(stream.WriteBits(8, 3), text);
    // An oversize positive value is refused too, never cut to its low bits.
    EXPECT_DEATH(stream.WriteBits(0x7FFF0000, 15), text);
    EXPECT_DEATH(stream.WriteBits(static_cast<uint32_t>(-40), 5), text);
}

TEST(StreamDeathTest, FittingValuesPass)
{
    FSWFStream stream;
    stream.WriteBits(7, 3);
    stream.WriteBits(static_cast<uint32_t>(-16), 5);
    stream.WriteBits(0, 0);
    SUCCEED();
}

// Byte and word fields refuse what a bit field of their width refuses, where
// they used to keep the low bits of any value.
TEST(StreamDeathTest, BytesAndWordsThatDoNotFitStop)
{
    FSWFStream stream;
    stream.WriteByte(0xFF);
    stream.WriteByte(static_cast<uint32_t>(-128));
    stream.WriteWord(0xFFFF);
    stream.WriteWord(static_cast<uint32_t>(-32768));
    EXPECT_EQ(Complete(stream), (Bytes{0xFF, 0x80, 0xFF, 0xFF, 0x00, 0x80}));
    const char* byteText = "\\( value <= 0xFF \\) \\|\\| \\( -\\(S32\\)\\(value\\) <= 0xFF \\)";
    const char* wordText = "\\( value <= 0xFFFF \\) \\|\\| \\( -\\(S32\\)\\(value\\) <= 0xFFFF \\)";
    EXPECT_DEATH(stream.WriteByte(0x100), byteText);
    EXPECT_DEATH(stream.WriteByte(static_cast<uint32_t>(-256)), byteText);
    EXPECT_DEATH(stream.WriteWord(70000), wordText);
    EXPECT_DEATH(stream.WriteWord(static_cast<uint32_t>(-65536)), wordText);
}

TEST(StreamDeferred, SizeCountsBlocksButNotThePartialByte)
{
    const Bytes block(5000, 0x55);
    FSWFStream stream;
    for (int i = 0; i < 10; ++i) stream.WriteByte(static_cast<uint32_t>(i));
    stream.AppendData(block.data(), static_cast<int32_t>(block.size()));
    stream.WriteBits(5, 3);
    EXPECT_EQ(stream.Size(), 5010u);
}

TEST(StreamDeferred, BlocksAreSplicedInAtTheirPositions)
{
    const Bytes first{0xAA, 0xBB};
    const Bytes second{0xCC};
    FSWFStream stream;
    stream.WriteByte(1);
    stream.AppendData(first.data(), 2);
    stream.WriteByte(2);
    stream.AppendData(second.data(), 1);
    EXPECT_EQ(InMemory(stream), (Bytes{1, 0xAA, 0xBB, 2, 0xCC}));
}

TEST(StreamDeferred, AppendMovesTheBodysBlocksAlong)
{
    const Bytes payload{0xFF, 0xD8, 0xFF, 0xD9};
    FSWFStream body;
    body.WriteWord(7);
    body.AppendData(payload.data(), 4);
    body.WriteByte(9);

    FSWFStream stream;
    stream.WriteByte(0xEE);
    EXPECT_EQ(stream.Append(body), 3u);
    EXPECT_TRUE(body.DeferredBlocks().empty());
    EXPECT_EQ(InMemory(stream), (Bytes{0xEE, 7, 0, 0xFF, 0xD8, 0xFF, 0xD9, 9}));
}

TEST(StreamDeferred, WritingTwiceLosesTheBlocksTheSecondTime)
{
    const Bytes payload{1, 2, 3};
    FSWFStream stream;
    stream.WriteByte(0x10);
    stream.AppendData(payload.data(), 3);
    const std::string firstName = TempPath("twice-1.bin");
    const std::string secondName = TempPath("twice-2.bin");
    for (const std::string& name : {firstName, secondName}) {
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(stream.WriteToFile(file));
        std::fclose(file);
    }
    EXPECT_EQ(swftest::ReadFile(firstName), (Bytes{0x10, 1, 2, 3}));
    EXPECT_EQ(swftest::ReadFile(secondName), (Bytes{0x10}));
}

TEST(StreamDeathTest, AnEmptyBlockStopsTheWrite)
{
    const uint8_t byte = 0;
    FSWFStream stream;
    stream.AppendData(&byte, 0);
    Bytes out(1);
    EXPECT_DEATH(stream.WriteToMemory(out.data()), "currentDataSize > 0");
}

TEST(TagHeader, ShortUpTo62BytesLongFrom63)
{
    for (uint32_t length : {62u, 63u}) {
        FSWFStream body;
        for (uint32_t i = 0; i < length; ++i) body.WriteByte(i);
        FSWFStream stream;
        stream.AppendTag(FTagCode::DoAction, body.Size(), &body);
        const Bytes bytes = Complete(stream);
        if (length == 62) {
            ASSERT_EQ(bytes.size(), 2u + 62u);
            EXPECT_EQ(bytes[0], 0x3E);  // code 12 << 6 | 62, low byte
            EXPECT_EQ(bytes[1], 0x03);
        } else {
            ASSERT_EQ(bytes.size(), 6u + 63u);
            EXPECT_EQ(bytes[0], 0x3F);  // length field 63: the long form follows
            EXPECT_EQ(bytes[1], 0x03);
            EXPECT_EQ((Bytes{bytes[2], bytes[3], bytes[4], bytes[5]}), (Bytes{63, 0, 0, 0}));
        }
    }
}

TEST(TagHeader, ShowFrameAndEnd)
{
    FSWFStream stream;
    FCTShowFrame showFrame;
    showFrame.Write(stream);
    stream.AppendTag(FTagCode::End, 0, nullptr);
    EXPECT_EQ(Complete(stream), (Bytes{0x40, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(showFrame.IsShowFrame());
}

TEST(TagHeader, RawDataReachesTheFileVerbatim)
{
    const Bytes tags{0x40, 0x00};
    FSWFStream stream;
    FTagRawData raw(tags.data(), 2);
    raw.Write(stream);
    EXPECT_FALSE(raw.IsShowFrame());
    EXPECT_EQ(InMemory(stream), tags);
}

TEST(Helpers, BitsNeeded)
{
    EXPECT_EQ(BitsNeeded(0, 1), 1u);
    EXPECT_EQ(BitsNeeded(0, 0), 0u);
    EXPECT_EQ(BitsNeeded(1, 0), 1u);
    EXPECT_EQ(BitsNeeded(3, 0), 2u);
    EXPECT_EQ(BitsNeeded(255, 0), 8u);
    EXPECT_EQ(BitsNeeded(256, 1), 10u);
    EXPECT_EQ(BitsNeeded(0x7FFFFFFF, 1), 32u);
}

TEST(Helpers, MaxAbs4)
{
    EXPECT_EQ(MaxAbs4(-7, 3, 0, 5), 7);
    EXPECT_EQ(MaxAbs4(0, 0, 0, -1), 1);
}

TEST(StreamDeathTest, BitsNeededBeyond32Stops)
{
    EXPECT_DEATH(BitsNeeded(0x80000000u, 0), "sign \\+ i <= 32");
    EXPECT_DEATH(BitsNeeded(0x40000000u, 1 + 1), "sign \\+ i <= 32");
}

TEST(CharacterID, CountsFromOneAndResets)
{
    FResetCharacterID();
    EXPECT_EQ(NextCharacterID(), 1);
    EXPECT_EQ(NextCharacterID(), 2);
    FResetCharacterID();
    EXPECT_EQ(NextCharacterID(), 1);
    FResetCharacterID();
}

TEST(StreamDeathTest, CharacterIDNeverWraps)
{
    EXPECT_DEATH(
        {
            FResetCharacterID();
            for (int i = 0; i < 0x10000; ++i) NextCharacterID();
        },
        "characterID < 0xFFFF");
}

TEST(File, MovieOf550By400PixelsWithOneFrame)
{
    FSWFFile file;
    file.AddTag(std::make_unique<FCTShowFrame>());
    FSWFStream stream;
    file.WriteBody(stream, 11000, 8000, 12);
    EXPECT_EQ(Complete(stream), (Bytes{
                                    0x46, 0x57, 0x53,        // "FWS"
                                    0x04,                    // version
                                    0x19, 0x00, 0x00, 0x00,  // file length 25
                                    0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,  // frame rectangle
                                    0x00, 0x0C,              // frame rate 12.0
                                    0x01, 0x00,              // frame count
                                    0x40, 0x00,              // ShowFrame
                                    0x00, 0x00,              // End
                                }));
}

TEST(File, WideMoviesGetWiderRectangleFields)
{
    // 1920 x 1080 pixels plus the button band: 38400 x 22400 twips need 17-bit fields.
    FSWFFile file;
    FSWFStream stream;
    file.WriteBody(stream, 38400, 22400, 12);
    const swftest::Movie movie = swftest::Parse(InMemory(stream));
    EXPECT_EQ(movie.rectBits, 17u);
    EXPECT_EQ(movie.xmax, 38400);
    EXPECT_EQ(movie.ymax, 22400);
    EXPECT_EQ(movie.fileLength, 22u + 2u);
    // Up to 16383 twips the classic 15-bit fields stay.
    EXPECT_EQ(FSWFFile::HeaderSize(16383, 16383), 21u);
    EXPECT_EQ(FSWFFile::HeaderSize(32768, 100), 22u);
}

TEST(File, WriteFileReplacesTheOutputOnlyWhenComplete)
{
    const std::string name = TempPath("replace.swf");
    {
        FSWFFile file;
        ASSERT_TRUE(file.WriteFile(name, 100, 100, 12));
    }
    EXPECT_EQ(swftest::ParseFile(name).frameCount, 0u);

    FSWFFile file;
    std::string error;
    EXPECT_FALSE(file.WriteFile(TempPath("no-such-folder/out.swf"), 100, 100, 12, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// The header counts frames in 16 bits: a 70,000-frame movie used to say 4,464.
TEST(StreamDeathTest, FrameCountBeyondTheHeadersFieldStops)
{
    FSWFFile file;
    for (int i = 0; i < 0xFFFF; ++i) file.AddTag(std::make_unique<FCTShowFrame>());
    FSWFStream stream;
    file.WriteBody(stream, 100, 100, 12);
    EXPECT_EQ(swftest::Parse(InMemory(stream)).frameCount, 0xFFFFu);

    file.AddTag(std::make_unique<FCTShowFrame>());
    const std::string name = TempPath("frames.swf");
    std::remove(name.c_str());
    FSWFStream again;
    EXPECT_DEATH(file.WriteBody(again, 100, 100, 12), "frameCount <= 0xFFFF");
    EXPECT_DEATH(file.WriteFile(name, 100, 100, 12), "frameCount <= 0xFFFF");
    EXPECT_FALSE(std::ifstream(name).good());
}

// A define tag drawn before the counter was last reset (another movie was
// written meanwhile) shares its ID with a later character: writing stops.
TEST(StreamDeathTest, DefineTagsFromBeforeTheLastResetStop)
{
    FResetCharacterID();
    FSWFFile file;
    file.AddTag(std::make_unique<FDTDefineSound>(nullptr, 4));
    file.AddTag(std::make_unique<FCTShowFrame>());
    FSWFStream current;
    file.WriteBody(current, 100, 100, 12);  // resets the counter itself

    FSWFFile stale;
    stale.AddTag(std::make_unique<FDTDefineSound>(nullptr, 4));
    FResetCharacterID();
    const std::string name = TempPath("stale.swf");
    std::remove(name.c_str());
    const char* text = "oldestIDEpoch >= FCharacterIDEpoch\\(\\) \\(one movie at a time";
    FSWFStream stream;
    EXPECT_DEATH(stale.WriteBody(stream, 100, 100, 12), text);
    EXPECT_DEATH(stale.WriteTagsAndEnd(stream), text);
    EXPECT_DEATH(stale.WriteFile(name, 100, 100, 12), text);
    EXPECT_FALSE(std::ifstream(name).good());
}

}  // namespace

// Content of unknown size stops short of a limit instead of the format's end:
// at the limit an ID is refused with an exception and none is spent; a reset
// lifts the limit with the count.
TEST(CharacterIDLimit, RefusesPastTheLimitWithoutSpendingAnID)
{
    FResetCharacterID();
    EXPECT_EQ(NextCharacterID(), 1);
    FSetCharacterIDLimit(3);
    EXPECT_EQ(NextCharacterID(), 2);
    EXPECT_EQ(NextCharacterID(), 3);
    EXPECT_THROW(NextCharacterID(), FCharacterIDLimitReached);
    EXPECT_THROW(FDTDefineSprite(), FCharacterIDLimitReached);
    EXPECT_EQ(FLastCharacterID(), 3);
    FSetCharacterIDLimit(0);
    EXPECT_EQ(NextCharacterID(), 4);
    FSetCharacterIDLimit(4);
    FResetCharacterID();
    EXPECT_EQ(FLastCharacterID(), 0);
    for (uint16_t id = 1; id <= 6; ++id) EXPECT_EQ(NextCharacterID(), id);
    FResetCharacterID();
}
