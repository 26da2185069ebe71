// What every system's build must hold of its files: an output is never one
// of the inputs, whatever names lead to it; names outside any one code page
// open; spill files read back and leave nothing behind.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/futf8names.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/outputguard.h"
#include "driver/core/spillfile.h"
#include "support/converter_run.h"
#include "support/region_bytes.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;

std::string Name(const fs::path& path)
{
    return FUTF8FromPath(path);
}

// A folder and a file named in Cyrillic and Chinese: in no single ANSI code page.
const std::string kUnicodeFolder = "Диапозитивы-幻灯片";

TEST(FileIdentity, OneFileWhateverTheNameTwoFilesApart)
{
    const Scratch folder("identity");
    folder.Write("a.jpg", "same bytes");
    folder.Write("b.jpg", "same bytes");
    fs::create_hard_link(folder / "a.jpg", folder / "hard.jpg");
    const std::string a = Name(folder / "a.jpg");

    EXPECT_TRUE(SameFile(a, Name(folder / "hard.jpg")));
    EXPECT_TRUE(SameFile(a, Name(folder / "." / "sub" / ".." / "a.jpg")));
    EXPECT_FALSE(SameFile(a, Name(folder / "b.jpg"))) << "equal bytes are not one file";
    ASSERT_TRUE(IdentityOfFile(a));
    EXPECT_NE(*IdentityOfFile(a), FileIdentity{}) << "a real identity, not the zeros of a stat without one";
    EXPECT_EQ(IdentityOfFile(a), IdentityOfFile(Name(folder / "hard.jpg")));

    // A movie not written yet has no identity: its names are compared.
    EXPECT_FALSE(IdentityOfFile(Name(folder / "new.swf")));
    EXPECT_TRUE(SameFile(Name(folder / "new.swf"), Name(folder / "sub" / ".." / "new.swf")));
    EXPECT_FALSE(SameFile(Name(folder / "new.swf"), Name(folder / "other.swf")));
}

TEST(OutputGuard, RefusesAnInputThatIsTheMovieAndLeavesItWhole)
{
    const Scratch folder("guard");
    folder.Write("deck1.jpg", "slide one");
    folder.Write("deck2.jpg", "slide two");
    fs::create_hard_link(folder / "deck2.jpg", folder / "linked.jpg");
    {
        const OutputGuard guard(Name(folder / "deck2.jpg"), std::nullopt);
        EXPECT_EQ(LoadWholeFile(Name(folder / "deck1.jpg"), "slide image").size(), 9u);
        for (const char* name : {"deck2.jpg", "linked.jpg"}) {
            try {
                LoadWholeFile(Name(folder / name), "slide image");
                FAIL() << name << " was read though it is the movie";
            } catch (const ConverterError& error) {
                EXPECT_EQ(error.ExitStatus(), kExitUsage);
                EXPECT_NE(std::string(error.what()).find("would overwrite the slide image"), std::string::npos)
                    << error.what();
            }
        }
        // The stdio opening goes through the same check.
        EXPECT_THROW(OpenForReading(Name(folder / "deck2.jpg"), "stop-point file"), ConverterError);
    }
    EXPECT_EQ(swftest::Slurp(folder / "deck2.jpg"), "slide two");
    EXPECT_EQ(LoadWholeFile(Name(folder / "deck2.jpg"), "slide image").size(), 9u) << "no guard, no refusal";
}

TEST(UTF8Names, AFileInAFolderOfAnyScriptOpens)
{
    const Scratch folder("unicode");
    const fs::path inside = folder.Path() / FPathFromUTF8(kUnicodeFolder);
    fs::create_directories(inside);
    swftest::WriteBytes(inside / FPathFromUTF8("слайд1.jpg"), "bytes");
    const std::string name = Name(inside / FPathFromUTF8("слайд1.jpg"));

    EXPECT_EQ(FPathFromUTF8(name), inside / FPathFromUTF8("слайд1.jpg")) << "a round trip keeps every letter";
    EXPECT_EQ(LoadWholeFile(name, "slide image"), (std::vector<uint8_t>{'b', 'y', 't', 'e', 's'}));
    std::FILE* file = FOpenUTF8(name, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fgetc(file), 'b');
    std::fclose(file);
    EXPECT_EQ(FOpenUTF8(Name(inside / "none.jpg"), "rb"), nullptr);
}

// TMPDIR set for the test's span.
class TemporaryFolderSet {
public:
    explicit TemporaryFolderSet(const fs::path& folder)
    {
        if (const char* old = std::getenv("TMPDIR")) saved = old;
        Set(Name(folder));
    }
    ~TemporaryFolderSet() { Set(saved.value_or("")); }

private:
    static void Set(const std::string& value)
    {
#ifdef _WIN32
        _wputenv_s(L"TMPDIR", FWideFromUTF8(value).c_str());
#else
        if (value.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", value.c_str(), 1);
        }
#endif
    }

    std::optional<std::string> saved;
};

// In pieces of several reads.
std::vector<uint8_t> ReadBack(const FSWFFileRegion& region) { return swftest::RegionBytes(region, 5); }

TEST(SpillFile, PiecesReadBackFromTheHeldFileAndNothingStays)
{
    const Scratch scratch("spill");
    const fs::path folder = scratch.Path() / FPathFromUTF8(kUnicodeFolder);
    fs::create_directories(folder);
    const TemporaryFolderSet temporary(folder);
    std::optional<FSWFFileRegion> kept;
    {
        SpillFile spill("slides");
        EXPECT_EQ(FPathFromUTF8(spill.Folder()), folder);
        const std::vector<uint8_t> first{1, 2, 3, 4, 5, 6, 7}, second(70000, 0xA5);
        const FSWFFileRegion a = spill.Append(first.data(), first.size(), "the first");
        const FSWFFileRegion b = spill.Append(second.data(), second.size(), "the second");
        EXPECT_EQ(b.offset, first.size());
        // Read through the file the spill holds: no name is looked up.
        EXPECT_EQ(ReadBack(a), first);
        EXPECT_EQ(ReadBack(b), second);
        EXPECT_EQ(ReadBack(spill.Region(2, 3, "a stretch")), (std::vector<uint8_t>{3, 4, 5}));
        kept = a;
    }
    EXPECT_EQ(ReadBack(*kept), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7})) << "a region keeps the file";
    kept.reset();
    EXPECT_TRUE(fs::is_empty(folder)) << "the file goes with its last region";
}

}  // namespace
