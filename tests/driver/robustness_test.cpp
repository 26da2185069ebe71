// The converter as a process against bad input and faults, one row each: the
// message names the file, the exit status says what kind of failure it was,
// no output file appears, an existing one is left as it was, and no temporary
// file is left behind. Rows that are valid input write a movie instead.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/converter_run.h"
#include "support/png_file.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Listing;
using swftest::Scratch;
using swftest::StartConverter;

// A small valid movie, so that every file the tests leave reads as a SWF file.
const std::string kOldMovie = swftest::TinyMovie();

struct Row {
    const char* name;
    std::function<void(const Scratch&)> spoil;  // turns the good two-slide deck bad
    const char* count = "2";
    const char* output = "out.swf";
    int status = 1;
    const char* message = "";  // expected on standard error; empty for a valid run
    const char* prefix = "";   // shell commands before the converter
};

// Failure reports name the row.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

void Remove(const Scratch& deck, const char* name) { fs::remove(deck / name); }
void Empty(const Scratch& deck, const char* name) { deck.Write(name, ""); }
void Folder(const Scratch& deck, const char* name)
{
    fs::remove(deck / name);
    fs::create_directory(deck / name);
}
void Fifo(const Scratch& deck, const char* name)
{
    fs::remove(deck / name);
    ASSERT_EQ(mkfifo((deck / name).c_str(), 0600), 0);
}

// Bytes of every value, starting with one that is not a digit or white space.
std::string BinaryGarbage()
{
    std::string bytes = "\x89PNG";
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 37 + i / 7) & 0xFF);
    return bytes;
}

std::vector<Row> Rows()
{
    auto spoil = [](void (*how)(const Scratch&, const char*), const char* name) {
        return [how, name](const Scratch& deck) { how(deck, name); };
    };
    auto write = [](const char* name, std::string bytes) {
        return [name, bytes](const Scratch& deck) { deck.Write(name, bytes); };
    };
    const std::string longDigits(100000, '7');
    return {
        // A missing stop file stops on every slide (Converter tests); one that
        // is there but cannot be opened is still an error.
        {"StopFileIsABrokenLink",
         [](const Scratch& deck) {
             Remove(deck, "deck.stp");
             fs::create_symlink("gone.stp", deck / "deck.stp");
         },
         "2", "out.swf", 1,
         "cannot open the stop-point file 'deck.stp': No such file or directory (an empty file gives a show "
         "without stop points)"},
        {"StopFileEmpty", spoil(Empty, "deck.stp"), "2", "out.swf", 0},
        {"StopFileIsAFolder", spoil(Folder, "deck.stp"), "2", "out.swf", 1,
         "cannot read the stop-point file 'deck.stp': it is a directory"},
        {"ConfigMissing", spoil(Remove, "config.txt"), "2", "out.swf", 1,
         "cannot open the configuration file 'config.txt': No such file or directory"},
        {"ConfigEmpty", spoil(Empty, "config.txt"), "2", "out.swf", 1,
         "the configuration file 'config.txt' gives the slide width 0 (line 1), which is not a size from 1 to 65535 pixels"},
        {"ConfigIsAFolder", spoil(Folder, "config.txt"), "2", "out.swf", 1,
         "cannot read the configuration file 'config.txt': it is a directory"},
        {"ForwardMissing", spoil(Remove, "forward.jpg"), "2", "out.swf", 1,
         "cannot open the forward button image 'forward.jpg': No such file or directory"},
        {"ForwardEmpty", spoil(Empty, "forward.jpg"), "2", "out.swf", 1,
         "the forward button image 'forward.jpg' is empty"},
        {"ForwardIsAFolder", spoil(Folder, "forward.jpg"), "2", "out.swf", 1,
         "cannot read the forward button image 'forward.jpg': it is a directory"},
        {"ForwardNotAJPEG", write("forward.jpg", "not a jpeg"), "2", "out.swf", 1,
         "the forward button image 'forward.jpg' is not a JPEG image"},
        {"BackwardMissing", spoil(Remove, "backward.jpg"), "2", "out.swf", 1,
         "cannot open the backward button image 'backward.jpg': No such file or directory"},
        {"BackwardEmpty", spoil(Empty, "backward.jpg"), "2", "out.swf", 1,
         "the backward button image 'backward.jpg' is empty"},
        {"BackwardIsAFolder", spoil(Folder, "backward.jpg"), "2", "out.swf", 1,
         "cannot read the backward button image 'backward.jpg': it is a directory"},
        {"SlideMissing", spoil(Remove, "deck2.jpg"), "2", "out.swf", 1,
         "cannot open the slide image 'deck2.jpg': No such file or directory"},
        {"SlideEmpty", spoil(Empty, "deck2.jpg"), "2", "out.swf", 1, "the slide image 'deck2.jpg' is empty"},
        {"SlideIsAFolder", spoil(Folder, "deck2.jpg"), "2", "out.swf", 1,
         "cannot read the slide image 'deck2.jpg': it is a directory"},
        {"SlideNotAJPEG", write("deck2.jpg", "GIF89a\x01\x00\x01\x00"), "2", "out.swf", 1,
         "the slide image 'deck2.jpg' is not a JPEG image"},
        // Past the start marker, libjpeg reads the header and names what is wrong.
        {"SlideGarbageAfterStart", write("deck2.jpg", "\xFF\xD8 and then no JPEG at all"), "2", "out.swf", 1,
         "the slide image 'deck2.jpg' is not a JPEG image that can be read: the file ends before its header is "
         "complete (JPEG datastream contains no image)"},
        {"SlideHeaderCutShort", write("deck2.jpg", swftest::TinyJPEG().substr(0, 80)), "2", "out.swf", 1,
         "the slide image 'deck2.jpg' is not a JPEG image that can be read: the file ends before its header is "
         "complete (Bogus marker length)"},
        {"SlidePNGUnderAJPEGName", write("deck2.jpg", BinaryGarbage()), "2", "out.swf", 1,
         "the slide image 'deck2.jpg' is not a JPEG image"},
        {"BackwardGarbageAfterStart", write("backward.jpg", "\xFF\xD8\xFF\xC0\x00"), "2", "out.swf", 1,
         "the backward button image 'backward.jpg' is not a JPEG image that can be read: the file ends before "
         "its header is complete (Bogus marker length)"},
        // A stop file gives whatever numbers its lines give; frames it does not name are no stop points.
        {"StopFileOfBinaryGarbage", write("deck.stp", BinaryGarbage()), "2", "out.swf", 0},
        {"StopFileOfLongLines", write("deck.stp", longDigits + "\n" + longDigits), "2", "out.swf", 0},
        // Garbage in the configuration gives a width of 0 (no digits) or past the limit (many).
        {"ConfigOfBinaryGarbage", write("config.txt", BinaryGarbage()), "2", "out.swf", 1,
         "the configuration file 'config.txt' gives the slide width 0 (line 1), which is not a size from 1 to 65535 pixels"},
        {"ConfigOfLongLines", write("config.txt", longDigits + "\n" + longDigits), "2", "out.swf", 1,
         "the configuration file 'config.txt' gives the slide width 2147483647 (line 1), which is not a size from 1 to "
         "65535 pixels"},
        {"CountNotANumber", nullptr, "abc", "out.swf", 2, "slide count 'abc' is not a whole number of 0 or more"},
        {"CountNegative", nullptr, "-1", "out.swf", 2, "slide count '-1' is not a whole number of 0 or more"},
        {"CountPastTheFrameLimit", nullptr, "65534", "out.swf", 2,
         "slide count '65534' is too large: a movie holds at most 65533 slides"},
        {"CountPastInt32", nullptr, "99999999999", "out.swf", 2,
         "slide count '99999999999' is too large: a movie holds at most 65533 slides"},
        {"OutputInAMissingFolder", nullptr, "2", "no-such-folder/out.swf", 1,
         "cannot write 'no-such-folder/out.swf': cannot create a temporary file beside it: No such file or "
         "directory"},
        {"OutputIsAFolder", spoil(Folder, "folder.swf"), "2", "folder.swf", 1,
         "cannot write 'folder.swf': cannot replace the file: Is a directory"},
        // A FIFO would block the reading for ever: refused at once (the time
        // limit turns a hang into a failed row).
        {"StopFileIsAFIFO", spoil(Fifo, "deck.stp"), "2", "out.swf", 1,
         "cannot read the stop-point file 'deck.stp': it is not a regular file", "timeout 30 "},
        {"ConfigIsAFIFO", spoil(Fifo, "config.txt"), "2", "out.swf", 1,
         "cannot read the configuration file 'config.txt': it is not a regular file", "timeout 30 "},
        {"ForwardIsAFIFO", spoil(Fifo, "forward.jpg"), "2", "out.swf", 1,
         "cannot read the forward button image 'forward.jpg': it is not a regular file", "timeout 30 "},
        {"SlideIsAFIFO", spoil(Fifo, "deck2.jpg"), "2", "out.swf", 1,
         "cannot read the slide image 'deck2.jpg': it is not a regular file", "timeout 30 "},
        // The output is checked before any input is read: the missing slide is not reached.
        {"OutputIsAFolderFoundFirst",
         [](const Scratch& deck) {
             Folder(deck, "folder.swf");
             Remove(deck, "deck1.jpg");
         },
         "2", "folder.swf", 1, "cannot write 'folder.swf': cannot replace the file: Is a directory"},
        // The limit (512-byte blocks) lets the header and some tags through, not the 20 KB slide.
        {"WriteFailsPartWay", write("deck2.jpg", swftest::TinyJPEG('z', 20000)), "2", "out.swf", 1,
         "cannot write 'out.swf': write failed: File too large", "ulimit -f 8; "},
    };
}

// Names of files the converter left behind in the folder (temporary files included).
std::vector<std::string> Leftovers(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().find(".corvanex-") != std::string::npos)
            names.push_back(entry.path().string());
    return names;
}

class ConverterFault : public ::testing::TestWithParam<Row> {};

TEST_P(ConverterFault, FailsCleanlyOrWritesAMovie)
{
    const Row& row = GetParam();
    // An earlier movie can only stand at a plain output path.
    const bool plainOutput = std::string(row.output) == "out.swf";
    for (bool earlierMovie : {false, true}) {
        if (earlierMovie && !plainOutput) break;
        SCOPED_TRACE(earlierMovie ? "over an earlier movie" : "no earlier movie");
        Scratch deck(std::string("fault-") + row.name);
        deck.MakeDeck("deck", 2);
        if (row.spoil) row.spoil(deck);
        if (earlierMovie) deck.Write(row.output, kOldMovie);
        const swftest::RunResult run = deck.Run(
            CORVANEX_BINARY,
            {"--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg", "deck", row.count,
             row.output},
            row.prefix);

        const fs::path output = deck / row.output;
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Leftovers(deck.Path()).empty());
        if (row.status == 0) {
            EXPECT_EQ(run.err, "");
            const swftest::Movie movie = swftest::ParseFile(output.string());
            EXPECT_EQ(movie.fileLength, fs::file_size(output));
            EXPECT_EQ(movie.frameCount, 4u);  // two slides, the empty frame, the closing frame
            continue;
        }
        EXPECT_EQ(run.err, std::string("corvanex: ") + row.message + "\n");
        if (fs::is_directory(output)) {
            EXPECT_TRUE(fs::is_empty(output)) << "the folder in the output's place is untouched";
        } else if (earlierMovie) {
            EXPECT_EQ(swftest::Slurp(output), kOldMovie);
        } else {
            EXPECT_FALSE(fs::exists(output));
        }
        EXPECT_FALSE(fs::exists(deck / "no-such-folder"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ConverterFault, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// Every entry of the folder (not below it) with its bytes; other kinds by kind.
std::map<std::string, std::string> Contents(const fs::path& folder)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        // The run's own output and the copies of movies kept for the
        // independent readers (CORVANEX_SWF_DIR) are not the deck's files.
        if (name == ".out" || name == ".err" || name == "runs") continue;
        contents[name] = entry.is_symlink() ? "link to " + fs::read_symlink(entry.path()).string()
                         : entry.is_regular_file() ? swftest::Slurp(entry.path())
                                                   : "not a file";
    }
    return contents;
}

TEST(ConverterOutputs, AnOutputThatIsAnInputIsRefusedAndTheInputKept)
{
    Scratch deck("output-is-input");
    deck.MakeDeck("deck", 2);
    deck.Write("voice1.wav", "RIFF, as far as finding it goes");
    deck.Write("voice2.wav", "RIFF, as far as finding it goes");
    deck.Write("out.swf", kOldMovie);
    fs::create_symlink("deck1.jpg", deck / "link.out");
    fs::create_hard_link(deck / "deck2.jpg", deck / "hard.out");
    fs::create_hard_link(deck / "out.swf", deck / "page.html");
    const std::map<std::string, std::string> before = Contents(deck.Path());
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"deck", "2", "deck1.jpg"}, "the movie 'deck1.jpg' would overwrite the slide image 'deck1.jpg'"},
        {{"deck", "2", "deck2.jpg"}, "the movie 'deck2.jpg' would overwrite the slide image 'deck2.jpg'"},
        {{"deck", "2", "deck.stp"}, "the movie 'deck.stp' would overwrite the stop-point file 'deck.stp'"},
        {{"deck", "2", "config.txt"}, "the movie 'config.txt' would overwrite the configuration file 'config.txt'"},
        {{"deck", "2", "backward.jpg"},
         "the movie 'backward.jpg' would overwrite the backward button image 'backward.jpg'"},
        {{"deck", "2", "link.out"}, "the movie 'link.out' would overwrite the slide image 'deck1.jpg'"},
        {{"deck", "2", "hard.out"}, "the movie 'hard.out' would overwrite the slide image 'deck2.jpg'"},
        {{"--narration", "voice", "deck", "2", "voice2.wav"},
         "the movie 'voice2.wav' would overwrite the narration file 'voice2.wav'"},
        {{"--html", "deck1.jpg", "deck", "2", "out.swf"},
         "the page 'deck1.jpg' would overwrite the slide image 'deck1.jpg'"},
        {{"--html", "page.html", "deck", "2", "out.swf"}, "the page 'page.html' would overwrite the movie"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(message);
        const swftest::RunResult run = deck.Convert(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "corvanex: " + message);
        EXPECT_EQ(Contents(deck.Path()), before);
    }
}

TEST(ConverterInputs, AFIFOFoundByNameIsRefusedNotWaitedOn)
{
    Scratch deck("fifo-inputs");
    deck.MakeDeck("deck", 2);
    Fifo(deck, "voice1.wav");
    swftest::RunResult run = deck.Run(CORVANEX_BINARY,
                                      {"--config", "config.txt", "--forward", "forward.jpg", "--backward",
                                       "backward.jpg", "--narration", "voice", "deck", "2", "out.swf"},
                                      "timeout 30 ");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: cannot read the narration file 'voice1.wav': it is not a regular file\n");
#ifdef CORVANEX_PDF
    Fifo(deck, "talk.pdf");
    run = deck.Run(CORVANEX_BINARY, {"--forward", "forward.jpg", "--backward", "backward.jpg", "talk.pdf", "out.swf"},
                   "timeout 30 ");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: cannot read the PDF 'talk.pdf': it is not a regular file\n");
#endif
    EXPECT_FALSE(fs::exists(deck / "out.swf"));
}

// A link another user planted in a shared sticky folder (/tmp) is not
// followed by a converter run as root, as the system's rule for such folders
// says: it would lead the movie over a file of root's choosing.
TEST(ConverterOutputs, ALinkPlantedInASharedStickyFolderIsNotFollowed)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to own a link as another user";
    Scratch deck("sticky-link");
    deck.MakeDeck("deck", 2);
    fs::create_directory(deck / "shared");
    ASSERT_EQ(chmod((deck / "shared").c_str(), 01777), 0);
    deck.Write("precious", "root's own");
    fs::create_symlink(deck / "precious", deck / "shared" / "out.movie");
    ASSERT_EQ(lchown((deck / "shared" / "out.movie").c_str(), 65534, 65534), 0);  // nobody's
    const swftest::RunResult run = deck.Convert({"deck", "2", "shared/out.movie"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "corvanex: cannot write 'shared/out.movie': will not follow the symbolic link 'shared/out.movie': it is in "
              "a world-writable sticky folder and belongs to another user\n");
    EXPECT_EQ(swftest::Slurp(deck / "precious"), "root's own");
    EXPECT_TRUE(Leftovers(deck.Path()).empty());
}

// The size of the file the process `child` is writing in `folder`: one it
// holds open there, named or not (an unnamed one shows as "#N (deleted)").
// -1 while there is none.
int64_t SizeOfFileBeingWritten(pid_t child, const fs::path& folder)
{
    std::error_code error;
    const std::string inFolder = fs::canonical(folder, error).string() + "/";
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(child) + "/fd", error)) {
        std::error_code gone;  // closed meanwhile
        const std::string target = fs::read_symlink(entry.path(), gone).string();
        if (gone || target.rfind(inFolder, 0) != 0) continue;
        const std::string name = target.substr(inFolder.size());
        if (name.find(".corvanex-") == std::string::npos && name.rfind("#", 0) != 0) continue;
        struct stat status {};
        if (stat(entry.path().c_str(), &status) == 0) return status.st_size;
    }
    return -1;
}

// Whether files without a name can be made in the folder (else the hidden way is taken).
bool TakesUnnamedFiles(const fs::path& folder)
{
    const int descriptor = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (descriptor < 0) return false;
    close(descriptor);
    return true;
}

TEST(ConverterKilled, MidWriteLeavesTheEarlierMovieIntact)
{
    // Four slides of 40 MB each, one sparse file linked four times: a write
    // long enough to be caught in the middle, a run short enough for a test.
    Scratch deck("killed");
    deck.MakeDeck("deck", 4);
    const fs::path slide = deck / "deck1.jpg";
    deck.Write("deck1.jpg", swftest::TinyJPEG('k'));
    fs::resize_file(slide, 40u << 20);
    for (int n = 2; n <= 4; ++n) {
        fs::remove(deck / ("deck" + std::to_string(n) + ".jpg"));
        fs::create_hard_link(slide, deck / ("deck" + std::to_string(n) + ".jpg"));
    }
    deck.Write("out.swf", kOldMovie);
    const std::set<std::string> before = Listing(deck.Path());

    const pid_t child = StartConverter(deck.Path(), {"--config", "config.txt", "--forward", "forward.jpg", "--backward",
                                            "backward.jpg", "deck", "4", "out.swf"});
    ASSERT_GT(child, 0);
    // Kill it once its temporary file is there and has some bytes.
    bool caught = false, reaped = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!caught && !reaped && std::chrono::steady_clock::now() < deadline) {
        caught = SizeOfFileBeingWritten(child, deck.Path()) > 0;
        if (!caught) {
            reaped = waitpid(child, &status, WNOHANG) == child;  // finished (or failed) too soon
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    if (!reaped) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(caught) << "the converter was not caught writing";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // The movie is replaced only by a rename of a complete file. The killed
    // run's file had no name, so it is gone with the process; where the file
    // system has no unnamed files, its hidden temporary file stays (nothing is
    // left to remove it), cut short.
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), kOldMovie);
    const std::vector<std::string> leftovers = Leftovers(deck.Path());
    if (TakesUnnamedFiles(deck.Path())) {
        EXPECT_EQ(leftovers, std::vector<std::string>{});
        EXPECT_EQ(Listing(deck.Path()), before) << "nothing new in the folder";
    } else {
        ASSERT_EQ(leftovers.size(), 1u);
        EXPECT_LT(fs::file_size(leftovers[0]), 4 * (40u << 20));
    }
}

TEST(ConverterKilled, ATerminatedPNGRunLeavesNothingInTMPDIR)
{
    // Slides of noise, slow to compress, so that the run is caught with
    // compressed slides waiting in its temporary file.
    Scratch deck("killed-png");
    Scratch temporary("killed-png-tmp");
    deck.MakeDeck("unused", 0, "0\n", "600\n600\n");
    deck.Write("deck.stp", "0\n");
    swftest::Picture noise{600, 600, std::vector<uint8_t>(600 * 600 * 4)};
    uint32_t state = 1;
    for (uint8_t& byte : noise.rgba) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    const std::string slide = swftest::PNGBytes(noise, SPNG_COLOR_TYPE_TRUECOLOR);
    for (int n = 1; n <= 40; ++n) deck.Write("deck" + std::to_string(n) + ".png", slide);

    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    setenv("TMPDIR", temporary.Path().c_str(), 1);
    const pid_t child = StartConverter(deck.Path(), {"--config", "config.txt", "--forward", "forward.jpg", "--backward",
                                            "backward.jpg", "deck", "40", "out.swf"});
    saved ? setenv("TMPDIR", savedValue.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_GT(child, 0);
    bool caught = false, reaped = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!caught && !reaped && std::chrono::steady_clock::now() < deadline) {
        caught = SizeOfFileBeingWritten(child, temporary.Path()) > 0;
        if (!caught) {
            reaped = waitpid(child, &status, WNOHANG) == child;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (!reaped) {
        kill(child, SIGTERM);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(caught) << "the converter was not caught with slides in its temporary file";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(Listing(temporary.Path()), std::set<std::string>{});
    EXPECT_FALSE(fs::exists(deck / "out.swf"));
}

}  // namespace
