#include "base/fatomicfile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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
        // Named after its target, so that one left behind can be traced.
        EXPECT_EQ(Listing().begin()->rfind(".out.dat.corvanex-", 0), 0u);
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

TEST_P(AtomicFileTest, AReplacedFileKeepsItsPermissionsAndOwner)
{
    Put("out.dat", "old");
    ASSERT_EQ(chmod(Path("out.dat").c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    // Root writing over another user's file gives it back to that user.
    if (root) {
        ASSERT_EQ(chown(Path("out.dat").c_str(), 65534, 65534), 0);
    }
    const Umask umask(077);
    ASSERT_EQ(WriteWhole("out.dat", "new"), "");
    struct stat status {};
    ASSERT_EQ(stat(Path("out.dat").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(status.st_uid, 65534u);
        EXPECT_EQ(status.st_gid, 65534u);
    }
}

// Plays a file system that cannot set permissions, failing with `reason`.
class RefusedChangeMode {
public:
    explicit RefusedChangeMode(int reason) : saved(FAtomicFile::Calls())
    {
        refusal = reason;
        FAtomicFile::Calls().changeMode = [](int, mode_t) {
            errno = refusal;
            return -1;
        };
    }
    ~RefusedChangeMode() { FAtomicFile::Calls() = saved; }

private:
    static inline int refusal = 0;
    FAtomicFile::SystemCalls saved;
};

TEST_P(AtomicFileTest, PermissionsTheFileSystemCannotSetAreLeftBe)
{
    // Over an existing file both ways set permissions.
    for (const int reason : {ENOSYS, EPERM, EOPNOTSUPP}) {
        SCOPED_TRACE(reason);
        Put("out.dat", "old");
        const RefusedChangeMode refused(reason);
        EXPECT_EQ(WriteWhole("out.dat", "new"), "");
        EXPECT_EQ(Get("out.dat"), "new");
    }
    // Any other failure is one.
    const RefusedChangeMode refused(EIO);
    EXPECT_EQ(WriteWhole("out.dat", "newer"), "cannot create a temporary file beside it: Input/output error");
    EXPECT_EQ(Get("out.dat"), "new");
    EXPECT_EQ(Listing(), std::set<std::string>{"out.dat"});
}

TEST_P(AtomicFileTest, ALinkAnotherUserPlantedInASharedStickyFolderIsNotFollowed)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to own links as another user";
    // /tmp as it is: world-writable and sticky, owned by root.
    fs::create_directory(folder / "shared");
    ASSERT_EQ(chmod((folder / "shared").c_str(), 01777), 0);
    Put("secret", "root's");
    ASSERT_EQ(chmod(Path("secret").c_str(), 0600), 0);
    const auto plant = [&](const std::string& link, uid_t owner) {
        fs::create_symlink(folder / "secret", folder / "shared" / link);
        ASSERT_EQ(lchown((folder / "shared" / link).c_str(), owner, owner), 0);
    };
    plant("nobodys.dat", 65534);
    EXPECT_EQ(WriteWhole("shared/nobodys.dat", "movie"),
              "will not follow the symbolic link '" + Path("shared/nobodys.dat") +
                  "': it is in a world-writable sticky folder and belongs to another user");
    EXPECT_EQ(Get("secret"), "root's");
    EXPECT_TRUE(fs::is_symlink(folder / "shared" / "nobodys.dat"));
    EXPECT_EQ(Listing(), (std::set<std::string>{"secret", "shared"}));

    // The folder owner's links are followed, as the follower's own are; and
    // another user's link where the folder is not shared.
    ASSERT_EQ(chown((folder / "shared").c_str(), 65534, 65534), 0);
    EXPECT_EQ(WriteWhole("shared/nobodys.dat", "by the folder's owner"), "");
    EXPECT_EQ(Get("secret"), "by the folder's owner");
    ASSERT_EQ(chown((folder / "shared").c_str(), 0, 0), 0);
    plant("roots.dat", 0);
    EXPECT_EQ(WriteWhole("shared/roots.dat", "by root"), "");
    EXPECT_EQ(Get("secret"), "by root");
    ASSERT_EQ(chmod((folder / "shared").c_str(), 0777), 0);
    EXPECT_EQ(WriteWhole("shared/nobodys.dat", "not sticky"), "");
    EXPECT_EQ(Get("secret"), "not sticky");
    struct stat status {};
    ASSERT_EQ(stat(Path("secret").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the replaced file keeps its permissions";
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
    if (!swftest::KeepingMovies()) fs::remove_all(folder);
}

// An interrupted or terminated process removes its hidden file before it ends
// (file systems without unnamed files would otherwise keep it), and still
// ends by the signal.
TEST(AtomicFileSignals, AnInterruptedOrTerminatedWriteLeavesNoHiddenFile)
{
    const fs::path folder = fs::path(::testing::TempDir()) / ("corvanex-atomic-signal-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A shell without job control starts its background commands with
            // SIGINT ignored, and the file only answers signals that would
            // otherwise end the process: give both their default action.
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            FAtomicFile file;
            const uint8_t bytes[] = {1, 2, 3};
            if (!file.Open((folder / "out.swf").string(), nullptr, Method::HiddenTemporary) ||
                !file.Write(bytes, sizeof bytes, nullptr))
                _exit(3);
            (void)!write(ready[1], "r", 1);
            for (;;) pause();
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        EXPECT_EQ(fs::directory_iterator(folder)->path().filename().string().rfind(".out.swf.corvanex-", 0), 0u);
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(fs::is_empty(folder));
    }
    fs::remove_all(folder);
}

}  // namespace
