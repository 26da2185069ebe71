#include "swf/ffileregion.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/swf_reader.h"
#include "swf/fdtbitmaps.h"
#include "swf/fswfstream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A folder of its own for each test, gone when the test ends.
class RegionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(::testing::TempDir()) / ("corvanex-region-" + std::string(info->name()) + "-" +
                                                  std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Path(const std::string& name) const { return (folder / name).string(); }

    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                           static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

    // A region of the named file as it is now.
    FSWFFileRegion Region(const std::string& path, uint64_t offset, int32_t size, bool open = false) const
    {
        FSWFFileRegion region;
        region.path = path;
        region.offset = offset;
        region.size = size;
        region.fileSize = fs::file_size(path);
        if (open) region.file = std::make_shared<const FSWFOpenFile>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return region;
    }

    fs::path folder;
};

// Bytes that differ from one position to the next, so that a shifted copy shows.
Bytes Pattern(size_t size, uint8_t seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

// The three ways out of a stream, each on a stream made afresh by `fill`.
template <typename Fill>
void ExpectEveryWriteGives(const Fill& fill, const Bytes& expected, const std::string& scratch)
{
    {
        FSWFStream stream;
        fill(stream);
        Bytes memory(stream.Size());
        std::string error;
        EXPECT_TRUE(stream.WriteToMemory(memory.data(), &error)) << error;
        EXPECT_EQ(memory, expected) << "memory";
    }
    {
        FSWFStream stream;
        fill(stream);
        std::FILE* file = std::fopen(scratch.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::string error;
        EXPECT_TRUE(stream.WriteToFile(file, &error)) << error;
        std::fclose(file);
        EXPECT_EQ(swftest::ReadFile(scratch), expected) << "standard file";
    }
    {
        FSWFStream stream;
        fill(stream);
        const int descriptor = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(descriptor, 0);
        std::string error;
        EXPECT_TRUE(stream.WriteToDescriptor(descriptor, &error)) << error;
        ::close(descriptor);
        EXPECT_EQ(swftest::ReadFile(scratch), expected) << "descriptor";
    }
}

TEST_F(RegionTest, RegionsGiveTheBytesOfTheEquivalentMemoryBlocks)
{
    // Larger than the read buffer, at an offset, beside memory blocks and an
    // open file's region; an odd number of small bytes between them.
    const Bytes big = Pattern(300000, 3);
    const Bytes small = Pattern(1000, 9);
    const Bytes inMemory{0xAA, 0xBB, 0xCC};
    const std::string bigFile = Write("big.bin", big);
    const std::string smallFile = Write("small.bin", small);
    const FSWFFileRegion whole = Region(bigFile, 0, static_cast<int32_t>(big.size()));
    const FSWFFileRegion middle = Region(smallFile, 17, 500);
    const FSWFFileRegion opened = Region(smallFile, 999, 1, true);

    auto fill = [&](FSWFStream& stream) {
        stream.WriteByte(1);
        stream.AppendFileRegion(whole);
        stream.WriteWord(0x0302);
        stream.AppendData(inMemory.data(), 3);
        stream.AppendFileRegion(middle);
        stream.AppendFileRegion(opened);
        stream.WriteByte(4);
    };
    Bytes expected{1};
    expected.insert(expected.end(), big.begin(), big.end());
    expected.insert(expected.end(), {2, 3, 0xAA, 0xBB, 0xCC});
    expected.insert(expected.end(), small.begin() + 17, small.begin() + 517);
    expected.push_back(small[999]);
    expected.push_back(4);
    ExpectEveryWriteGives(fill, expected, Path("out.bin"));
}

TEST_F(RegionTest, ManySlideSizedRegionsKeepTheirOrderAcrossGatheredWrites)
{
    // Regions read into a buffer of their own go out in gathered writes: more
    // of them than one write holds, more bytes than the buffer holds, and one
    // region larger than the buffer between them, all in order.
    const Bytes slide = Pattern(150000, 5);
    const Bytes huge = Pattern((1 << 20) + 4097, 11);
    const std::string slideFile = Write("slide.bin", slide);
    const std::string hugeFile = Write("huge.bin", huge);
    const FSWFFileRegion hugeRegion = Region(hugeFile, 0, static_cast<int32_t>(huge.size()));
    std::vector<FSWFFileRegion> regions;
    for (int32_t i = 0; i < 100; ++i)
        regions.push_back(Region(slideFile, static_cast<uint64_t>(i * 1000), 50000 - i * 400, i % 3 == 0));

    auto fill = [&](FSWFStream& stream) {
        for (size_t i = 0; i < regions.size(); ++i) {
            stream.WriteByte(static_cast<uint32_t>(i));
            stream.AppendFileRegion(regions[i]);
            if (i == 40) stream.AppendFileRegion(hugeRegion);
        }
        stream.WriteByte(0xFF);
    };
    Bytes expected;
    for (size_t i = 0; i < regions.size(); ++i) {
        expected.push_back(static_cast<uint8_t>(i));
        const auto from = slide.begin() + static_cast<std::ptrdiff_t>(regions[i].offset);
        expected.insert(expected.end(), from, from + regions[i].size);
        if (i == 40) expected.insert(expected.end(), huge.begin(), huge.end());
    }
    expected.push_back(0xFF);
    ExpectEveryWriteGives(fill, expected, Path("out.bin"));
}

TEST_F(RegionTest, KernelCopyFallsBackWhereTheOutputRefusesIt)
{
    const Bytes bytes = Pattern(200000, 5);
    const FSWFFileRegion region = Region(Write("in.bin", bytes), 0, static_cast<int32_t>(bytes.size()));
    Bytes expected{7};
    expected.insert(expected.end(), bytes.begin(), bytes.end());

    // A file opened for appending takes neither copy_file_range nor sendfile.
    const std::string appended = Path("appended.bin");
    const int descriptor = ::open(appended.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0);
    FSWFStream stream;
    stream.WriteByte(7);
    stream.AppendFileRegion(region);
    std::string error;
    EXPECT_TRUE(stream.WriteToDescriptor(descriptor, &error)) << error;
    ::close(descriptor);
    EXPECT_EQ(swftest::ReadFile(appended), expected);
}

TEST_F(RegionTest, AFileThatChangedSizeIsAnErrorNamingIt)
{
    const std::string path = Write("slide.jpg", Pattern(100, 1));
    for (bool open : {false, true}) {
        Write("slide.jpg", Pattern(100, 1));
        const FSWFFileRegion region = Region(path, 0, 100, open);
        Write("slide.jpg", Pattern(101, 1));  // rewritten in place: the same file, one byte longer
        for (int way = 0; way < 3; ++way) {
            FSWFStream stream;
            stream.WriteByte(0);
            stream.AppendFileRegion(region);
            std::string error;
            bool ok = true;
            Bytes memory(stream.Size());
            std::FILE* file = std::fopen(Path("out.bin").c_str(), "wb");
            ASSERT_NE(file, nullptr);
            if (way == 0) ok = stream.WriteToMemory(memory.data(), &error);
            if (way == 1) ok = stream.WriteToFile(file, &error);
            if (way == 2) ok = stream.WriteToDescriptor(fileno(file), &error);
            std::fclose(file);
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, "'" + path + "' changed size since it was checked (100 bytes, now 101)")
                << "open " << open << ", way " << way;
        }
    }
}

TEST_F(RegionTest, AFileThatWentIsAnErrorNamingIt)
{
    const std::string path = Write("slide.jpg", Pattern(100, 1));
    const FSWFFileRegion byName = Region(path, 0, 100);
    const FSWFFileRegion open = Region(path, 0, 100, true);
    fs::remove(path);

    for (const FSWFFileRegion* region : {&byName, &open}) {
        FSWFStream stream;
        stream.AppendFileRegion(*region);
        Bytes memory(stream.Size());
        std::string error;
        EXPECT_FALSE(stream.WriteToMemory(memory.data(), &error));
        EXPECT_NE(error.find("'" + path + "'"), std::string::npos) << error;
    }
    // The open file could still be read, but it is no longer the file of that name.
    FSWFStream stream;
    stream.AppendFileRegion(open);
    Bytes memory(stream.Size());
    std::string error;
    EXPECT_FALSE(stream.WriteToMemory(memory.data(), &error));
    EXPECT_EQ(error, "'" + path + "' was removed or replaced since it was checked");
}

TEST_F(RegionTest, FileWriteMatchesTheMemoryPathByteForByte)
{
    // Enough tags for the file to go out in many parts, with JPEGs of several
    // sizes among them, some far larger than a part.
    std::vector<Bytes> jpegs;
    std::vector<FSWFFileRegion> regions;
    for (int i = 0; i < 150; ++i) {
        jpegs.push_back(Pattern(static_cast<size_t>(i % 7 == 0 ? 70000 + i : 300 + 37 * i), static_cast<uint8_t>(i)));
        regions.push_back(Region(Write("s" + std::to_string(i) + ".jpg", jpegs.back()), 0,
                                 static_cast<int32_t>(jpegs.back().size())));
    }
    // A tag of a code no player knows, 700 bytes with its long header.
    Bytes filler{0xFF, 0x3F, 0xB6, 0x02, 0, 0};
    const Bytes fillerBody = Pattern(694, 2);
    filler.insert(filler.end(), fillerBody.begin(), fillerBody.end());
    FResetCharacterID();
    auto build = [&](FSWFFile& file, bool fromFiles) {
        for (size_t i = 0; i < jpegs.size(); ++i) {
            if (fromFiles)
                file.AddTag(std::make_unique<FDTDefineBitsJPEG2>(regions[i]));
            else
                file.AddTag(std::make_unique<FDTDefineBitsJPEG2>(jpegs[i].data(), static_cast<int32_t>(jpegs[i].size())));
            file.AddTag(std::make_unique<FTagRawData>(filler.data(), static_cast<int32_t>(filler.size())));
            file.AddTag(std::make_unique<FCTShowFrame>());
        }
    };

    FSWFFile inMemory;
    build(inMemory, false);
    FSWFStream stream;
    inMemory.WriteBody(stream, 12800, 9600, 12);
    Bytes expected(stream.Size());
    ASSERT_TRUE(stream.WriteToMemory(expected.data()));

    FSWFFile fromFiles;
    build(fromFiles, true);
    std::string error;
    ASSERT_TRUE(fromFiles.WriteFile(Path("movie.swf"), 12800, 9600, 12, &error)) << error;
    EXPECT_EQ(swftest::ReadFile(Path("movie.swf")), expected);
    const swftest::Movie parsed = swftest::ParseFile(Path("movie.swf"));
    EXPECT_EQ(parsed.frameCount, 150u);
    EXPECT_EQ(parsed.ShowFrames(), 150u);
}

// Only the movie and the slide remain: no temporary file beside them.
size_t FilesIn(const fs::path& folder)
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

TEST_F(RegionTest, AFailedRegionLeavesTheOldMovieAndNoTemporaryFile)
{
    const std::string slide = Write("slide.jpg", Pattern(5000, 4));
    const std::string movie = Write("movie.swf", {'o', 'l', 'd'});
    FSWFFile file;
    file.AddTag(std::make_unique<FDTDefineBitsJPEG2>(Region(slide, 0, 5000)));
    file.AddTag(std::make_unique<FCTShowFrame>());
    Write("slide.jpg", Pattern(4000, 4));

    std::string error;
    EXPECT_FALSE(file.WriteFile(movie, 100, 100, 12, &error));
    EXPECT_EQ(error, "'" + slide + "' changed size since it was checked (5000 bytes, now 4000)");
    EXPECT_EQ(swftest::ReadFile(movie), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(FilesIn(folder), 2u);
}

TEST_F(RegionTest, AMovieTooLongForItsHeaderIsRefusedBeforeCopying)
{
    // A sparse file: three regions of 1.5 GiB take no disk, and the write is
    // refused before it copies any of them.
    const std::string path = Path("sparse.bin");
    {
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::ftruncate(descriptor, 1536LL << 20), 0);
        ::close(descriptor);
    }
    FSWFFile file;
    for (int i = 0; i < 3; ++i) file.AddTag(std::make_unique<FDTDefineBitsJPEG2>(Region(path, 0, 1536 << 20)));
    std::string error;
    EXPECT_FALSE(file.WriteFile(Path("movie.swf"), 100, 100, 12, &error));
    EXPECT_EQ(error, "the movie would be longer than 4294967295 bytes, the most a SWF header can give");
    EXPECT_EQ(FilesIn(folder), 1u);
}

TEST_F(RegionTest, CharacterIDsStartAgainAfterAWrite)
{
    FSWFFile file;
    file.AddTag(std::make_unique<FDTDefineBitsJPEG2>(Region(Write("a.jpg", Pattern(10, 0)), 0, 10)));
    ASSERT_TRUE(file.WriteFile(Path("movie.swf"), 100, 100, 12));
    EXPECT_EQ(NextCharacterID(), 1);
    FResetCharacterID();
}

TEST(RegionDeathTest, RegionBeyondItsFileStops)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    FSWFFileRegion region;
    region.path = "x";
    region.offset = 10;
    region.size = 5;
    region.fileSize = 14;
    FSWFStream stream;
    EXPECT_DEATH(stream.AppendFileRegion(region), "region.offset \\+ region.size <= region.fileSize");
}

}  // namespace
