// The web player beside the page of --html: found where the build or the
// installation put it, copied whole beside a page whose folder has none, and
// never over anything already there.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/playercopy.h"
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

TEST(PlayerCopy, FoundBesideTheProgramOrInTheInstallationsShareFolder)
{
    Scratch scratch("playerfind");
    const fs::path program = scratch / "prefix/lib/corvanex";
    fs::create_directories(program);
    const std::string directory = program.string() + "/";
    EXPECT_EQ(FindInstalledPlayer(directory), "");
    EXPECT_EQ(FindInstalledPlayer(""), "");

    // The installation's share folder; a folder without the script is none.
    const fs::path installed = (program / CORVANEX_PLAYER_FROM_PROGRAM).lexically_normal();
    fs::create_directories(installed);
    EXPECT_EQ(FindInstalledPlayer(directory), "");
    MakePlayer(installed);
    EXPECT_EQ(FindInstalledPlayer(directory), installed.string());

    // A build folder's, beside the program, comes first.
    MakePlayer(program / "ruffle");
    EXPECT_EQ(FindInstalledPlayer(directory), (program / "ruffle").string());
}

TEST(PlayerCopy, CopiesThePlayerWholeBesideThePage)
{
    Scratch scratch("playercopy");
    const fs::path player = MakePlayer(scratch / "player");
    fs::create_directories(scratch / "site");
    EXPECT_EQ(PutPlayerBesidePage((scratch / "site/show.html").string(), player.string()), "");
    EXPECT_EQ(Slurp(scratch / "site/ruffle/ruffle.js"), "// the player\n");
    EXPECT_EQ(Slurp(scratch / "site/ruffle/sub/core.wasm"), std::string("\0asm", 4));
    // Served to anyone who opens the page, whatever the copy was made under.
    const fs::perms perms = fs::status(scratch / "site/ruffle").permissions();
    EXPECT_NE(perms & fs::perms::others_exec, fs::perms::none);
    EXPECT_NE(perms & fs::perms::others_read, fs::perms::none);
    EXPECT_TRUE(NoStagingLeft(scratch / "site"));

    // A page in the current folder gets the player there.
    const fs::path here = fs::current_path();
    fs::create_directories(scratch / "here");
    fs::current_path(scratch / "here");
    const std::string warning = PutPlayerBesidePage("show.html", player.string());
    fs::current_path(here);
    EXPECT_EQ(warning, "");
    EXPECT_TRUE(fs::exists(scratch / "here/ruffle/sub/core.wasm"));
}

TEST(PlayerCopy, NeverReplacesWhatIsThereAndSaysWhatWentWrong)
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
    for (const char* folder : {"a", "b", "c"}) {
        EXPECT_EQ(PutPlayerBesidePage((scratch / folder / "show.html").string(), player.string()), "") << folder;
        EXPECT_TRUE(NoStagingLeft(scratch / folder));
    }
    EXPECT_EQ(Slurp(scratch / "a/ruffle/ruffle.js"), "// the user's\n");
    EXPECT_EQ(Slurp(scratch / "b/ruffle"), "a file");
    EXPECT_TRUE(fs::is_symlink(scratch / "c/ruffle"));

    // No player to copy: the page's folder is named.
    fs::create_directories(scratch / "d");
    const std::string page = (scratch / "d/show.html").string();
    EXPECT_EQ(PutPlayerBesidePage(page, ""),
              "no Ruffle web player to put beside the page '" + page + "': the page loads it from '" +
                  (scratch / "d/ruffle/").string() + "' (the README's \"The web player\" says where to get it)");
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "d/ruffle")));

    // A copy that fails half way leaves nothing behind.
    ASSERT_EQ(mkfifo((player / "sub" / "pipe").c_str(), 0600), 0);
    const std::string failed = PutPlayerBesidePage(page, player.string());
    EXPECT_EQ(failed.rfind("cannot copy the Ruffle web player '" + player.string() + "' to '" +
                               (scratch / "d/ruffle").string() + "': ",
                           0),
              0u)
        << failed;
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "d/ruffle")));
    EXPECT_TRUE(NoStagingLeft(scratch / "d"));

    // A folder the page cannot be beside.
    EXPECT_EQ(PutPlayerBesidePage((scratch / "no-such-folder/show.html").string(), player.string())
                  .rfind("cannot copy the Ruffle web player", 0),
              0u);
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
    MakePlayer(program.parent_path() / CORVANEX_PLAYER_FROM_PROGRAM);
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

    fs::create_directories(scratch / "other");
    run = convert({"--html", "other/show.html", "--ruffle", "/player/ruffle.js", "deck", "1", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fs::exists(scratch / "other/ruffle"));

    // Without a player the page and the movie are written and the user is told.
    fs::remove_all(program.parent_path() / CORVANEX_PLAYER_FROM_PROGRAM);
    run = convert({"--html", "other/show.html", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "corvanex: no Ruffle web player to put beside the page 'other/show.html': the page loads it "
                       "from 'other/ruffle/' (the README's \"The web player\" says where to get it)\n");
    EXPECT_TRUE(fs::exists(scratch / "other/show.html"));
}

}  // namespace
