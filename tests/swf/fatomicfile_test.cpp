#include "base/fatomicfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "support/movie_folder.h"
#include "support/swf_reader.h"
#include "swf/fct.h"
#include "swf/fswfstream.h"

namespace {

namespace fs = std::filesystem;
using Method = FAtomicFile::Method;

// Each test in a folder of its own, run once for each way of making the file.
// (None of the files is a movie: they do not end in ".swf".)
class AtomicFileTest : public ::testing::TestWithParam<Method> {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(::testing::TempDir()) / ("corvanex-atomic-" + std::to_string(getpid()) + "-" +
                                                   std::to_string(reinterpret_cast<uintptr_t>(info)));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Path(const std::string& name) const { return (folder / name).string(); }
    void Put(const std::string& name, const std::string& text) const { std::ofstream(Path(name)) << text; }
    std::string Get(const std::string& name) const
    {
        std::ifstream input(Path(name));
        return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    }
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
        return names;
    }
    // Writes `text` to `name` through FAtomicFile; the error, empty on success.
    std::string WriteWhole(const std::string& name, const std::string& text) const
    {
        FAtomicFile file;
        std::string error;
        if (!file.Open(Path(name), &error, GetParam())) return error;
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        if (!file.Write(bytes, text.size(), &error) || !file.Commit(&error)) return error;
        return "";
    }

    fs::path folder;
};

// Sets the umask for the test's span.
class Umask {
public:
    explicit Umask(mode_t mask) : old(umask(mask)) {}
    ~Umask() { umask(old); }

private:
    mode_t old;
};

TEST_P(AtomicFileTest, WritesANewFileAndReplacesAnOldOne)
{
    EXPECT_EQ(WriteWhole("out.dat", "first"), "");
    EXPECT_EQ(Get("out.dat"), "first");
    EXPECT_EQ(WriteWhole("out.dat", "second, longer"), "");
    EXPECT_EQ(Get("out.dat"), "second, longer");
    EXPECT_EQ(Listing(), std::set<std::string>{"out.dat"});
}

TEST_P(AtomicFileTest, OnlyTheHiddenWayShowsAFileWhileWriting)
{
    FAtomicFile file;
    ASSERT_TRUE(file.Open(Path("out.dat"), nullptr, GetParam()));
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(file.Write(bytes, sizeof bytes, nullptr));
    if (GetParam() == Method::HiddenTemporary) {
        EXPECT_FALSE(file.IsUnnamed());
        ASSERT_EQ(Listing().size(), 1u);
        EXPECT_EQ(Listing().begin()->rfind(".corvanex-", 0), 0u);
    } else if (file.IsUnnamed()) {
        EXPECT_EQ(Listing(), std::set<std::string>{});
    }
}

TEST_P(AtomicFileTest, ADroppedFileLeavesTheOldOneAndNothingElse)
{
    Put("out.dat", "old");
    {
        FAtomicFile file;
        ASSERT_TRUE(file.Open(Path("out.dat"), nullptr, GetParam()));
        const uint8_t bytes[] = {'n', 'e', 'w'};
        ASSERT_TRUE(file.Write(bytes, sizeof bytes, nullptr));
    }
    EXPECT_EQ(Get("out.dat"), "old");
    EXPECT_EQ(Listing(), std::set<std::string>{"out.dat"});
}

TEST_P(AtomicFileTest, FailuresNameWhatFailedAndLeaveNothing)
{
    EXPECT_EQ(WriteWhole("no-such-folder/out.dat", "x"),
              "cannot create a temporary file beside it: No such file or directory");
    fs::create_directory(folder / "taken.dat");
    EXPECT_EQ(WriteWhole("taken.dat", "x"), "cannot replace the file: Is a directory");
    EXPECT_EQ(Listing(), std::set<std::string>{"taken.dat"});
    EXPECT_TRUE(fs::is_empty(folder / "taken.dat"));
}

TEST_P(AtomicFileTest, ANewFileHasThePermissionsTheUmaskGives)
{
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        const Umask umask(mask);
        fs::remove(Path("out.dat"));
        ASSERT_EQ(WriteWhole("out.dat", "x"), "");
        struct stat status {};
        ASSERT_EQ(stat(Path("out.dat").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
    }
}

TEST_P(AtomicFileTest, ASymbolicLinkIsWrittenThroughAndStays)
{
    fs::create_directory(folder / "real");
    Put("real/movie.dat", "old");
    fs::create_symlink("real/movie.dat", folder / "hop.dat");  // relative to the link's folder
    fs::create_symlink(folder / "hop.dat", folder / "out.dat");  // a chain of two
    EXPECT_EQ(WriteWhole("out.dat", "new"), "");
    EXPECT_TRUE(fs::is_symlink(folder / "out.dat"));
    EXPECT_TRUE(fs::is_symlink(folder / "hop.dat"));
    EXPECT_EQ(Get("real/movie.dat"), "new");
    EXPECT_EQ(Listing(), (std::set<std::string>{"hop.dat", "out.dat", "real"}));
    EXPECT_EQ(fs::directory_iterator(folder / "real")->path().filename(), "movie.dat");

    // A link to a file not there yet makes that file.
    fs::create_symlink("real/later.dat", folder / "dangling.dat");
    EXPECT_EQ(WriteWhole("dangling.dat", "made"), "");
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.dat"));
    EXPECT_EQ(Get("real/later.dat"), "made");
}

INSTANTIATE_TEST_SUITE_P(Ways, AtomicFileTest, ::testing::Values(Method::Automatic, Method::HiddenTemporary),
                         [](const ::testing::TestParamInfo<Method>& info) {
                             return info.param == Method::Automatic ? "Automatic" : "HiddenTemporary";
                         });

// The movie writer goes through the same helper: a link given as the output
// name keeps pointing at the movie it names.
TEST(MovieFile, WrittenThroughASymbolicLink)
{
    const fs::path folder = fs::path(::testing::TempDir()) / ("corvanex-atomic-link-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_symlink("target.swf", folder / "link.swf");
    FSWFFile file;
    file.AddTag(std::make_unique<FCTShowFrame>());
    std::string error;
    ASSERT_TRUE(file.WriteFile((folder / "link.swf").string(), 2000, 1000, 12, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "link.swf"));
    const swftest::Movie movie = swftest::ParseFile((folder / "target.swf").string());
    EXPECT_EQ(movie.ShowFrames(), 1u);
    EXPECT_EQ(movie.fileLength, fs::file_size(folder / "target.swf"));
    fs::remove(folder / "link.swf");
    swftest::Discard((folder / "target.swf").string());
}

}  // namespace
