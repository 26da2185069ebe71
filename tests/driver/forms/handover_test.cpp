// The slides handed over by file: checked where they lie, copied when the
// movie is written, and the movie the same as with every slide in memory.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/core/error.h"
#include "driver/input/jpegfile.h"
#include "driver/forms/imageform.h"
#include "hf/hfbitmap.h"
#include "hf/hfmovie.h"
#include "support/converter_run.h"
#include "support/deck_request.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;

// The converter's error text for a file check, or "" when it passes.
std::string CheckError(const std::string& name)
{
    try {
        CheckJPEGFile(name, "slide image");
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        return error.what();
    }
    return "";
}

TEST(JPEGFileCheck, RefusesWhatLoadingWouldWithTheSameWords)
{
    Scratch folder("check");
    const auto path = [&](const std::string& name) { return (folder / name).string(); };
    folder.Write("empty.jpg", "");
    folder.Write("gif.jpg", "GIF89a");
    folder.Write("one.jpg", "\xFF");
    fs::create_directory(folder / "folder.jpg");
    ASSERT_EQ(mkfifo(path("fifo.jpg").c_str(), 0600), 0);

    EXPECT_EQ(CheckError(path("empty.jpg")), "the slide image '" + path("empty.jpg") + "' is empty");
    EXPECT_EQ(CheckError(path("gif.jpg")), "the slide image '" + path("gif.jpg") + "' is not a JPEG image");
    EXPECT_EQ(CheckError(path("one.jpg")), "the slide image '" + path("one.jpg") + "' is not a JPEG image");
    EXPECT_EQ(CheckError(path("folder.jpg")),
              "cannot read the slide image '" + path("folder.jpg") + "': it is a directory");
    // Refused at once rather than waiting for a writer.
    EXPECT_EQ(CheckError(path("fifo.jpg")),
              "cannot read the slide image '" + path("fifo.jpg") + "': it is not a regular file");
    EXPECT_EQ(CheckError(path("none.jpg")),
              "cannot open the slide image '" + path("none.jpg") + "': No such file or directory");
}

TEST(JPEGFileCheck, TheRegionNamesTheWholeFile)
{
    Scratch folder("region");
    const std::string bytes = swftest::TinyJPEG('q', 1000);
    folder.Write("s.jpg", bytes);
    const std::string name = (folder / "s.jpg").string();

    const FSWFFileRegion byName = CheckJPEGFile(name, "slide image");
    EXPECT_EQ(byName.path, name);
    EXPECT_EQ(byName.offset, 0u);
    EXPECT_EQ(byName.size, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(byName.fileSize, bytes.size());
    EXPECT_EQ(byName.file, nullptr);

    const FSWFFileRegion kept = CheckJPEGFile(name, "slide image", true);
    ASSERT_NE(kept.file, nullptr);
    struct stat status {};
    EXPECT_EQ(fstat(kept.file->Descriptor(), &status), 0);
    EXPECT_EQ(static_cast<size_t>(status.st_size), bytes.size());
}

TEST(JPEGFileCheck, DescriptorsKeptOpenStayWithinTheLimit)
{
    rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    const size_t kept = SlideFilesKeptOpen(100000);
    rlimit after {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
    // Raised toward the ceiling when a deck needs it, never beyond it; a reserve stays free.
    EXPECT_GE(after.rlim_cur, before.rlim_cur);
    EXPECT_LE(after.rlim_cur, after.rlim_max);
    if (after.rlim_cur != RLIM_INFINITY) {
        EXPECT_LE(kept + 64, after.rlim_cur);
    }
    EXPECT_EQ(SlideFilesKeptOpen(10), after.rlim_cur == RLIM_INFINITY ? 10u : kept);
    EXPECT_EQ(SlideFilesKeptOpen(0), after.rlim_cur == RLIM_INFINITY ? 0u : kept);
}

TEST(SlideHandover, FilesGiveTheMovieThatSlidesInMemoryGive)
{
    // Slides of many sizes, some larger than a written part, enough of them
    // for the movie to go out in many parts; stops with backward buttons.
    Scratch deck("handover");
    const int slides = 130;
    for (int n = 1; n <= slides; ++n) {
        const size_t size = n % 9 == 0 ? 70000 + static_cast<size_t>(n) : static_cast<size_t>(n * 31);
        deck.Write("deck" + std::to_string(n) + ".jpg", swftest::TinyJPEG(static_cast<char>('a' + n % 26), size));
    }
    deck.Write("deck.stp", "0\n0\n3\n3\n7\n2\n120\n");
    deck.Write("config.txt", "800\n600\n");
    deck.Write("forward.jpg", swftest::TinyJPEG('f', 300));
    deck.Write("backward.jpg", swftest::TinyJPEG('b', 200));

    SlideShowRequest request = swftest::DeckRequest(deck, slides, "memory.swf");
    GenerateSlideMovie(request, SlideHandover::kInMemory);
    request.outputFile = (deck / "files.swf").string();
    GenerateSlideMovie(request, SlideHandover::kFiles);

    const std::vector<uint8_t> fromMemory = swftest::ReadFile((deck / "memory.swf").string());
    const std::vector<uint8_t> fromFiles = swftest::ReadFile((deck / "files.swf").string());
    EXPECT_EQ(fromFiles.size(), fromMemory.size());
    EXPECT_TRUE(fromFiles == fromMemory);
    EXPECT_EQ(swftest::Parse(fromFiles).frameCount, static_cast<uint32_t>(slides + 2));
}

TEST(SlideHandover, ASlideReplacedAfterItsCheckFailsTheWrite)
{
    // The check reads the slide's first bytes; a slide rewritten afterwards
    // (here by the test, between two steps of the library) is not copied.
    Scratch deck("replaced");
    deck.Write("s.jpg", swftest::TinyJPEG('a', 100));
    const std::string name = (deck / "s.jpg").string();
    for (bool keepOpen : {false, true}) {
        HFMovie movie;
        HFBitmap slide(0, 0, 2000, 2000, 100, 100, CheckJPEGFile(name, "slide image", keepOpen));
        movie.Frame(0)->AddObject(slide);
        deck.Write("s.jpg", swftest::TinyJPEG('a', 50));
        std::string reason;
        EXPECT_FALSE(movie.WriteMovie((deck / "out.swf").string(), &reason));
        EXPECT_EQ(reason, "'" + name + "' changed size since it was checked (" +
                              std::to_string(swftest::TinyJPEG('a', 100).size()) + " bytes, now " +
                              std::to_string(swftest::TinyJPEG('a', 50).size()) + ")");
        EXPECT_FALSE(fs::exists(deck / "out.swf"));
        deck.Write("s.jpg", swftest::TinyJPEG('a', 100));
    }
}

}  // namespace
