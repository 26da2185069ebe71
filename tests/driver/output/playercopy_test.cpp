// The web player beside the page of --html: found where the build or the
// installation put it, copied whole beside a page whose folder has none, and
// never over anything already there.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/output/playercopy.h"
#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using swftest::RunResult;
using swftest::Scratch;
using swftest::Slurp;

// A player's folder as the build fetches it: the script and a file further down.
fs::path MakePlayer(const fs::path& folder)
{
    fs::create_directories(folder / "sub");
    swftest::WriteBytes(folder / "ruffle.js", "// the player\n");
    swftest::WriteBytes(folder / "sub" / "core.wasm", std::string("\0asm", 4));
    return folder;
}

// Nothing named .ruffle-* (the copy's temporary name) in `folder`.
bool NoStagingLeft(const fs::path& folder)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".ruffle-", 0) == 0) return false;
    return true;
}

// The converter as installed: the program in lib/corvanex, the player in the
// share folder. Its page gets the player unless it names another with --ruffle.
TEST(PlayerCopy, TheConverterPutsItsInstalledPlayerBesideItsPage)
{
    Scratch scratch("playerinstalled");
    scratch.MakeDeck("deck", 1);
    const fs::path program = scratch / "prefix/lib/corvanex/corvanex";
    fs::create_directories(program.parent_path());
    fs::copy_file(CORVANEX_BINARY, program);
    const fs::path installed = program.parent_path() / CORVANEX_PLAYER_FROM_PROGRAM;
    MakePlayer(installed);
    const auto convert = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--config", "config.txt", "--forward", "forward.jpg", "--backward",
                                             "backward.jpg"});
        return scratch.Run(program.string(), arguments);
    };

    fs::create_directories(scratch / "site");
    RunResult run = convert({"--html", "site/show.html", "deck", "1", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Slurp(scratch / "site/ruffle/ruffle.js"), "// the player\n");
    EXPECT_EQ(Slurp(scratch / "site/ruffle/sub/core.wasm"), std::string("\0asm", 4));
    // Served to anyone who opens the page (the umask being 022), whatever the
    // temporary folder the copy was made in.
    const fs::perms perms = fs::status(scratch / "site/ruffle").permissions();
    EXPECT_EQ(perms & (fs::perms::others_read | fs::perms::others_exec),
              fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(NoStagingLeft(scratch / "site"));

    fs::create_directories(scratch / "other");
    run = convert({"--html", "other/show.html", "--ruffle", "/player/ruffle.js", "deck", "1", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fs::exists(scratch / "other/ruffle"));

    // Without a player the page and the movie are written and the user is told.
    fs::remove_all(installed);
    run = convert({"--html", "other/show.html", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "corvanex: no Ruffle web player to put beside the page 'other/show.html': the page loads it "
                       "from 'other/ruffle/' (\"The web player\" in docs/guide.md says where to get it)\n");
    EXPECT_TRUE(fs::exists(scratch / "other/show.html"));

    // A build folder's player, beside the program, comes before an installed one.
    EXPECT_EQ(FindInstalledPlayer(program.parent_path().string() + "/"), "");
    MakePlayer(installed);
    MakePlayer(program.parent_path() / "ruffle");
    EXPECT_EQ(FindInstalledPlayer(program.parent_path().string() + "/"), (program.parent_path() / "ruffle").string());
}

TEST(PlayerCopy, NeverReplacesWhatIsThereAndLeavesNothingOfAFailedCopy)
{
    Scratch scratch("playerkeep");
    const fs::path player = MakePlayer(scratch / "player");

    // A folder, a file or a dangling link of that name is left as it is.
    fs::create_directories(scratch / "a/ruffle");
    swftest::WriteBytes(scratch / "a/ruffle/ruffle.js", "// the user's\n");
    fs::create_directories(scratch / "b");
    swftest::WriteBytes(scratch / "b/ruffle", "a file");
    fs::create_directories(scratch / "c");
    fs::create_symlink("no-such-player", scratch / "c/ruffle");
    for (const char* folder : {"a", "b", "c"})
        EXPECT_EQ(PutPlayerBesidePage((scratch / folder / "show.html").string(), player.string()), "") << folder;
    EXPECT_EQ(Slurp(scratch / "a/ruffle/ruffle.js"), "// the user's\n");
    EXPECT_EQ(Slurp(scratch / "b/ruffle"), "a file");
    EXPECT_TRUE(fs::is_symlink(scratch / "c/ruffle"));

    // A copy that fails half way (on a file it cannot copy) leaves nothing behind.
    fs::create_directories(scratch / "d");
    ASSERT_EQ(mkfifo((player / "sub" / "pipe").c_str(), 0600), 0);
    const std::string failed = PutPlayerBesidePage((scratch / "d/show.html").string(), player.string());
    EXPECT_EQ(failed.rfind("cannot copy the Ruffle web player '" + player.string() + "' to '" +
                               (scratch / "d/ruffle").string() + "': ",
                           0),
              0u)
        << failed;
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "d/ruffle")));
    EXPECT_TRUE(NoStagingLeft(scratch / "d"));
}

// The copy's files and folders are made as any the user makes: a umask that
// keeps them from others is kept.
TEST(PlayerCopy, TheCopyIsMadeAsTheUmaskSays)
{
    Scratch scratch("playerumask");
    const fs::path player = MakePlayer(scratch / "player");
    fs::create_directories(scratch / "site");
    const mode_t saved = umask(027);
    const std::string warning = PutPlayerBesidePage((scratch / "site/show.html").string(), player.string());
    umask(saved);
    ASSERT_EQ(warning, "");
    const auto mode = [](const fs::path& path) { return fs::status(path).permissions() & fs::perms::all; };
    const fs::perms folder = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    const fs::perms file = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    EXPECT_EQ(mode(scratch / "site/ruffle"), folder);
    EXPECT_EQ(mode(scratch / "site/ruffle/sub"), folder);
    EXPECT_EQ(mode(scratch / "site/ruffle/ruffle.js"), file);
    EXPECT_EQ(mode(scratch / "site/ruffle/sub/core.wasm"), file);
    EXPECT_EQ(Slurp(scratch / "site/ruffle/sub/core.wasm"), std::string("\0asm", 4));
}

// Another process making ruffle/ while the copy is made (even an empty
// folder, which a rename would replace) keeps it: the copy goes.
TEST(PlayerCopy, AFolderMadeWhileTheCopyIsMadeIsKept)
{
    Scratch scratch("playerrace");
    const fs::path player = MakePlayer(scratch / "player");
    fs::create_directories(scratch / "site");
    const fs::path target = scratch / "site/ruffle";
    const std::string warning = PutPlayerBesidePage((scratch / "site/show.html").string(), player.string(),
                                                    [&] { fs::create_directory(target); });
    EXPECT_EQ(warning, "cannot copy the Ruffle web player '" + player.string() + "' to '" + target.string() +
                           "': " + std::make_error_code(std::errc::file_exists).message());
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_TRUE(NoStagingLeft(scratch / "site"));
}

// SIGTERM (or SIGINT, SIGHUP) during the copy ends the run by the signal, as
// always, and leaves neither the player nor its temporary folder.
TEST(PlayerCopy, ASignalDuringTheCopyLeavesNothing)
{
    Scratch scratch("playersignal");
    const fs::path player = MakePlayer(scratch / "player");
    for (const int signal : {SIGTERM, SIGINT}) {
        const fs::path site = scratch / ("site" + std::to_string(signal));
        fs::create_directories(site);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(signal, SIG_DFL);
            (void)PutPlayerBesidePage((site / "show.html").string(), player.string(), [signal] { raise(signal); });
            _exit(0);  // not reached: the signal ends the child
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(fs::exists(fs::symlink_status(site / "ruffle")));
        EXPECT_TRUE(NoStagingLeft(site));
    }
    // One the run ignores (SIGHUP under nohup) neither ends it nor stops the copy.
    const fs::path site = scratch / "ignored";
    fs::create_directories(site);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGHUP, SIG_IGN);
        const std::string warning =
            PutPlayerBesidePage((site / "show.html").string(), player.string(), [] { raise(SIGHUP); });
        _exit(warning.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Slurp(site / "ruffle/ruffle.js"), "// the player\n");
}

// A copy killed outright (SIGKILL) leaves its temporary folder; the next
// copy beside a page there clears it, and nothing that is not certainly a
// dead copy's.
TEST(PlayerCopy, TheNextCopyClearsWhatACopyKilledOutrightLeft)
{
    Scratch scratch("playerkilled");
    const fs::path player = MakePlayer(scratch / "player");
    const fs::path site = scratch / "site";
    fs::create_directories(site);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        (void)PutPlayerBesidePage((site / "show.html").string(), player.string(), [] { raise(SIGKILL); });
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_FALSE(NoStagingLeft(site));

    // Look-alikes: no note; the note of a process still running (this one);
    // a link to a folder elsewhere that holds a dead copy's note.
    const auto privateFolder = [](const fs::path& folder) {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
    };
    privateFolder(site / ".ruffle-nonote");
    privateFolder(site / ".ruffle-living");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    swftest::WriteBytes(site / ".ruffle-living/.corvanex-copy", std::to_string(getpid()) + " " + host + "\n");
    privateFolder(scratch / "elsewhere");
    swftest::WriteBytes(scratch / "elsewhere/.corvanex-copy", std::to_string(child) + " " + host + "\n");
    fs::create_directory_symlink(scratch / "elsewhere", site / ".ruffle-linked");

    EXPECT_EQ(PutPlayerBesidePage((site / "show.html").string(), player.string()), "");
    EXPECT_EQ(Slurp(site / "ruffle/ruffle.js"), "// the player\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(site))
        if (entry.path().filename().string().rfind(".ruffle-", 0) == 0) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".ruffle-linked", ".ruffle-living", ".ruffle-nonote"}));
    EXPECT_TRUE(fs::exists(scratch / "elsewhere/.corvanex-copy"));
}

}  // namespace
