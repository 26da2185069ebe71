// Finished slides wait in an unnamed temporary file in $TMPDIR, and nothing
// is left there after a run, whether it succeeds or fails.

#include "driver/core/spillfile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/error.h"
#include "driver/forms/imageform.h"
#include "support/converter_run.h"
#include "support/deck_request.h"
#include "support/png_file.h"
#include "support/region_bytes.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;

// TMPDIR set for the test's span.
class TemporaryFolderSet {
public:
    explicit TemporaryFolderSet(const fs::path& folder)
    {
        if (const char* old = std::getenv("TMPDIR")) saved = old;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderSet()
    {
        if (saved) {
            setenv("TMPDIR", saved->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> saved;
};

// The files this process holds open in the folder, named or not.
std::vector<std::string> OpenIn(const fs::path& folder)
{
    std::vector<std::string> open;
    const std::string inFolder = fs::canonical(folder).string() + "/";
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code gone;
        const std::string target = fs::read_symlink(entry.path(), gone).string();
        if (!gone && target.rfind(inFolder, 0) == 0) open.push_back(target);
    }
    return open;
}

bool Empty(const fs::path& folder)
{
    return fs::directory_iterator(folder) == fs::directory_iterator();
}

// In pieces of several reads.
std::vector<uint8_t> ReadBack(const FSWFFileRegion& region) { return swftest::RegionBytes(region, 7); }

TEST(SpillFile, LiesUnnamedInTMPDIRAndGoesWithItsLastRegion)
{
    Scratch folder("spill");
    const TemporaryFolderSet temporary(folder.Path());
    std::optional<FSWFFileRegion> kept;
    {
        SpillFile spill("slides");
        EXPECT_EQ(spill.Folder(), folder.Path().string());
        const std::vector<uint8_t> first{1, 2, 3}, second(100, 9);
        const FSWFFileRegion a = spill.Append(first.data(), first.size(), "the first");
        const FSWFFileRegion b = spill.Append(second.data(), second.size(), "the second");
        EXPECT_EQ(a.offset, 0u);
        EXPECT_EQ(b.offset, 3u);
        EXPECT_EQ(spill.Size(), 103u);
        EXPECT_TRUE(a.unnamed);
        EXPECT_EQ(b.path, "the second");
        // The first region was named when the file was shorter: it is read as it was.
        EXPECT_EQ(ReadBack(a), first);
        EXPECT_EQ(ReadBack(b), second);
        EXPECT_TRUE(Empty(folder.Path())) << "the file has no name";
        EXPECT_EQ(OpenIn(folder.Path()).size(), 1u);
        kept = b;
    }
    EXPECT_EQ(OpenIn(folder.Path()).size(), 1u) << "a region keeps the file";
    kept.reset();
    EXPECT_TRUE(OpenIn(folder.Path()).empty());
    EXPECT_TRUE(Empty(folder.Path()));
}

TEST(SpillFile, WorkersAppendingAtOnceGetTheirOwnStretches)
{
    SpillFile spill("slides");
    constexpr int kWorkers = 4, kEach = 50;
    std::vector<std::vector<FSWFFileRegion>> regions(kWorkers);
    {
        std::vector<std::jthread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back([&, w] {
                for (int i = 0; i < kEach; ++i) {
                    const std::vector<uint8_t> bytes(static_cast<size_t>(1 + (i * 37) % 300), static_cast<uint8_t>(w * kEach + i));
                    regions[static_cast<size_t>(w)].push_back(spill.Append(bytes.data(), bytes.size(), "piece"));
                }
            });
        }
    }
    uint64_t total = 0;
    for (int w = 0; w < kWorkers; ++w) {
        for (int i = 0; i < kEach; ++i) {
            const FSWFFileRegion& region = regions[static_cast<size_t>(w)][static_cast<size_t>(i)];
            EXPECT_EQ(ReadBack(region), std::vector<uint8_t>(static_cast<size_t>(1 + (i * 37) % 300),
                                                             static_cast<uint8_t>(w * kEach + i)));
            total += static_cast<uint64_t>(region.size);
        }
    }
    EXPECT_EQ(spill.Size(), total);
}

TEST(SpillFile, AFolderThatCannotTakeItIsNamed)
{
    Scratch folder("spill-missing");
    const TemporaryFolderSet temporary(folder / "none");
    try {
        SpillFile spill("compressed slides");
        FAIL() << "made in a folder that does not exist";
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        EXPECT_EQ(std::string(error.what()), "cannot make a temporary file for the compressed slides in '" +
                                                 (folder / "none").string() +
                                                 "' (set TMPDIR to another folder): No such file or directory");
    }
}

// A PNG deck of four slides (one 32-bit), its buttons and configuration.
void MakePNGDeck(const Scratch& deck)
{
    deck.MakeDeck("unused", 0, "0\n", "64\n48\n");
    for (int n = 1; n <= 4; ++n) {
        const swftest::Picture picture = swftest::Opaque(64, 48, n == 2 ? 1000 : 3 + n);
        deck.Write("deck" + std::to_string(n) + ".png", swftest::PNGBytes(picture));
    }
    deck.Write("deck.stp", "0\n");
}

SlideShowRequest PNGDeckRequest(const Scratch& deck, const std::string& output)
{
    return swftest::DeckRequest(deck, 4, output);
}

TEST(SpillFile, APNGDeckLeavesNothingInTMPDIRAndTheSameMovieAsInMemory)
{
    Scratch deck("spill-deck");
    Scratch temporaryFolder("spill-tmp");
    const TemporaryFolderSet temporary(temporaryFolder.Path());
    MakePNGDeck(deck);

    SlideShowRequest request = PNGDeckRequest(deck, "files.swf");
    size_t openDuring = 0;
    request.onSlideRead = [&](int32_t, uint64_t) {
        openDuring = std::max(openDuring, OpenIn(temporaryFolder.Path()).size());
        EXPECT_TRUE(Empty(temporaryFolder.Path()));
    };
    GenerateSlideMovie(request, SlideHandover::kFiles);
    EXPECT_EQ(openDuring, 1u) << "the compressed slides wait in one file";
    EXPECT_TRUE(OpenIn(temporaryFolder.Path()).empty());
    EXPECT_TRUE(Empty(temporaryFolder.Path()));

    GenerateSlideMovie(PNGDeckRequest(deck, "memory.swf"), SlideHandover::kInMemory);
    EXPECT_EQ(swftest::ReadFile((deck / "files.swf").string()), swftest::ReadFile((deck / "memory.swf").string()));

    // A slide that fails after others were compressed: nothing stays either.
    std::string damaged = swftest::PNGBytes(swftest::Opaque(64, 48, 6));
    damaged[damaged.find("IDAT") + 8] ^= 0x55;  // found once slides 1 and 2 are compressed
    deck.Write("deck3.png", damaged);
    EXPECT_THROW(GenerateSlideMovie(PNGDeckRequest(deck, "failed.swf")), ConverterError);
    FResetCharacterID();  // the failed movie is never written
    EXPECT_FALSE(fs::exists(deck / "failed.swf"));
    EXPECT_TRUE(OpenIn(temporaryFolder.Path()).empty());
    EXPECT_TRUE(Empty(temporaryFolder.Path()));
}

}  // namespace
