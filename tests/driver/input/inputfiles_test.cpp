#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"
#include "driver/input/configfiles.h"
#include "driver/input/jpegfile.h"
#include "driver/input/numberedfiles.h"
#include "driver/input/programfolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

using Values = std::vector<int32_t>;

// The values of a file holding exactly `content`, read with `limit` characters a line.
Values ReadValues(const std::string& content, size_t limit)
{
    std::FILE* file = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    Values values = ReadLineValues(file, limit);
    std::fclose(file);
    return values;
}

TEST(LineReading, FinalLineFeedGivesAnExtraZero)
{
    EXPECT_EQ(ReadValues("0\n3\n7\n", kStopPointLineLimit), (Values{0, 3, 7, 0}));
    EXPECT_EQ(ReadValues("0\n3\n7", kStopPointLineLimit), (Values{0, 3, 7}));
    EXPECT_EQ(ReadValues("", kStopPointLineLimit), (Values{0}));
}

TEST(LineReading, LongLinesContinueAsLinesOfTheirOwn)
{
    EXPECT_EQ(ReadValues("123456789\n", kStopPointLineLimit), (Values{123456, 789, 0}));
    // No characters of a longer line carry over into a shorter one.
    EXPECT_EQ(ReadValues("12\n4\n", kStopPointLineLimit), (Values{12, 4, 0}));
}

TEST(LineReading, CarriageReturnsStayInTheLineAndEndTheNumber)
{
    EXPECT_EQ(ReadValues("640\r\n480\r\n", kConfigLineLimit), (Values{640, 480, 0}));
}

TEST(LineReading, GarbageAndSignsFollowTheAtoiRule)
{
    EXPECT_EQ(ReadValues(" -5x\nabc\n+7\n", kStopPointLineLimit), (Values{-5, 0, 7, 0}));
    EXPECT_EQ(AtoiRule("99999999999"), 2147483647);
    EXPECT_EQ(AtoiRule("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(AtoiRule("\xff\xff"), 0);
}

TEST(LineReading, ManyLinesAreAllKept)
{
    std::string content;
    for (int i = 0; i < 2000; ++i) content += std::to_string(i) + "\n";
    const Values values = ReadValues(content, kStopPointLineLimit);
    ASSERT_EQ(values.size(), 2001u);
    EXPECT_EQ(values[1999], 1999);
}

// A read error is neither a line feed nor the end of the file: it must end the
// reading (it used to loop for ever, filling memory with passes of nothing).
TEST(LineReading, ReadErrorEndsTheReading)
{
    std::FILE* folder = std::fopen(".", "rb");  // opens; every read fails with EISDIR
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(ReadLineValues(folder, kStopPointLineLimit), Values{});
    EXPECT_TRUE(std::ferror(folder));
    std::fclose(folder);
}

TEST(LineReading, ReadErrorIsReportedWithTheFileName)
{
    // A regular file whose first byte cannot be read (address 0 is never mapped).
    const std::string name = "/proc/self/mem";
    try {
        ReadStopPoints(name);
        FAIL();
    } catch (const ConverterError& error) {
        EXPECT_STREQ(error.what(), "cannot read the stop-point file '/proc/self/mem': Input/output error");
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
    }
    try {
        ReadConfig(name);
        FAIL();
    } catch (const ConverterError& error) {
        EXPECT_STREQ(error.what(), "cannot read the configuration file '/proc/self/mem': Input/output error");
    }
}

TEST(Names, SlideAndExecutableNames)
{
    EXPECT_EQ(SlideFileName("talk", 1), "talk1.jpg");
    EXPECT_EQ(SlideFileName("talk", 12), "talk12.jpg");
    EXPECT_EQ(ExecutableDirectoryFromProgramPath("C:\\tools\\corvanex.exe"), "C:\\tools\\");
    EXPECT_EQ(ExecutableDirectoryFromProgramPath("corvanex.exe"), "");
    EXPECT_EQ(ExecutableDirectoryFromProgramPath("C:\\tools\\CORVANEX.EXE"), "");
    EXPECT_EQ(ExecutableDirectoryFromProgramPath("C:\\tools\\corvanex"), "");
}

TEST(JPEGCheck, EmptyAndForeignFilesAreRefused)
{
    const std::string jpeg = swftest::TinyJPEG('x', 16, 1920, 1080);
    const SlideSize size = CheckJPEG(std::vector<uint8_t>(jpeg.begin(), jpeg.end()), "a.jpg", "slide image");
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(size.height, 1080);
    try {
        CheckJPEG({}, "a.jpg", "slide image");
        FAIL();
    } catch (const ConverterError& error) {
        EXPECT_STREQ(error.what(), "the slide image 'a.jpg' is empty");
    }
    try {
        CheckJPEG({'G', 'I', 'F'}, "b.jpg", "slide image");
        FAIL();
    } catch (const ConverterError& error) {
        EXPECT_STREQ(error.what(), "the slide image 'b.jpg' is not a JPEG image");
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
    }
}

TEST(WholeFile, EveryByteOfSmallAndLargeFiles)
{
    // Sizes around the reading chunk, the empty file, and one of several chunks.
    const std::string name = ::testing::TempDir() + "corvanex-wholefile-" + std::to_string(getpid());
    for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{300001}}) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        if (size > 0) std::fwrite(bytes.data(), 1, size, file);
        std::fclose(file);
        EXPECT_EQ(LoadWholeFile(name, "slide image"), bytes) << size;
    }
    std::remove(name.c_str());
}

}  // namespace
