// An office deck made a PDF by LibreOffice, played here by small shell
// scripts that stand in for it (named by CORVANEX_SOFFICE): what it is given,
// how each way it fails is told, the time limit, and that its private folder
// is gone afterwards, whatever happened.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/office/officename.h"

#ifdef CORVANEX_PDF
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include <zlib.h>

#include "driver/core/error.h"
#include "driver/office/childprogram.h"
#include "driver/office/officepdf.h"
#include "support/converter_run.h"
#include "support/environment_set.h"
#endif

namespace {

TEST(OfficeDeckName, ThePresentationFormatsInAnyCase)
{
    for (const char* name : {"talk.pptx", "TALK.PPTX", "t.ppt", "t.pps", "t.PpSx", "t.pot", "t.potx", "t.odp",
                             "t.otp", "t.fodp", "Keynote.key", "dir.d/talk.odp"})
        EXPECT_TRUE(IsOfficeDeckName(name)) << name;
    for (const char* name : {"talk.pdf", "talk", "talk.pptx.bak", "talk.docx", "talk.odt", "talk.pptx/slides",
                             "talk.pptx\\slides", "talk.", "pptx"})
        EXPECT_FALSE(IsOfficeDeckName(name)) << name;
}

#ifdef CORVANEX_PDF

namespace fs = std::filesystem;
using swftest::EnvironmentSet;
using swftest::Listing;
using swftest::Scratch;
using swftest::StartConverter;

// The script's lines that find the folder it is to write the PDF in.
const std::string kOutputFolder =
    "while [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; shift; done\n";

// A folder with a deck, a temporary folder of its own (TMPDIR) and a
// stand-in for LibreOffice.
class FakeOffice {
public:
    explicit FakeOffice(const std::string& name)
        : folder(name), temporary(name + "-tmp"), tmpdir("TMPDIR", temporary.Path().string()),
          program(kOfficeProgramVariable, (folder / "soffice").string())
    {
        folder.Write("talk.pptx", "PK\x03\x04 a deck");
    }

    // The stand-in's body, after #!/bin/sh.
    void Script(const std::string& body) const
    {
        folder.Write("soffice", "#!/bin/sh\n" + body);
        fs::permissions(folder / "soffice", fs::perms::owner_all);
    }

    OfficeConversion Conversion(int32_t seconds = 20) const
    {
        return OfficeConversion{(folder / "talk.pptx").string(), seconds};
    }

    // The message of the run's failure, and that nothing is left behind.
    std::string Refusal(int32_t seconds = 20) const
    {
        std::string message = "accepted";
        try {
            const OfficePDF pdf(Conversion(seconds));
        } catch (const ConverterError& error) {
            EXPECT_EQ(error.ExitStatus(), kExitFailure);
            message = error.what();
        }
        EXPECT_EQ(Listing(temporary.Path()), std::set<std::string>{}) << message;
        return message;
    }

    std::string Deck() const { return "'" + (folder / "talk.pptx").string() + "'"; }

    Scratch folder;
    Scratch temporary;

private:
    EnvironmentSet tmpdir;
    EnvironmentSet program;
};

TEST(OfficePDF, LibreOfficeIsGivenThePresentationExportInAPrivateQuietPlace)
{
    FakeOffice office("office-given");
    const std::string record = (office.folder / "record").string();
    office.Script("{ for word; do echo \"arg $word\"; done; env | sed 's/^/env /'; echo \"cwd $(pwd)\";"
                  " echo \"stdin $(readlink /proc/self/fd/0)\"; } > '" + record + "'\n" + kOutputFolder +
                  "printf '%%PDF-1.4 made' > \"$out/talk.pdf\"\n");
    const EnvironmentSet secret("CORVANEX_TEST_SECRET", "1");
    const EnvironmentSet language("LANG", "de_DE.UTF-8");
    const OfficePDF pdf(office.Conversion());
    // Handed over open: nothing of the run is left in the temporary folder.
    EXPECT_EQ(Listing(office.temporary.Path()), std::set<std::string>{});
    EXPECT_EQ(swftest::Slurp(pdf.Path()), "%PDF-1.4 made");

    std::ifstream lines(record);
    std::vector<std::string> arguments;
    std::set<std::string> environment;
    std::string cwd, input;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("arg ", 0) == 0) arguments.push_back(line.substr(4));
        if (line.rfind("env ", 0) == 0) environment.insert(line.substr(4, line.find('=') - 4));
        if (line.rfind("cwd ", 0) == 0) cwd = line.substr(4);
        if (line.rfind("stdin ", 0) == 0) input = line.substr(6);
    }
    const std::string inside = "file://" + office.temporary.Path().string() + "/corvanex-office-";
    ASSERT_EQ(arguments.size(), 12u);
    EXPECT_EQ(arguments[0].rfind("-env:UserInstallation=" + inside, 0), 0u) << arguments[0];
    EXPECT_EQ(std::vector<std::string>(arguments.begin() + 1, arguments.begin() + 8),
              (std::vector<std::string>{"--headless", "--invisible", "--nologo", "--nodefault", "--nolockcheck",
                                        "--norestore", "--convert-to"}));
    EXPECT_EQ(arguments[8].rfind("pdf:impress_pdf_Export:{", 0), 0u) << arguments[8];
    EXPECT_NE(arguments[8].find(R"("UseTransitionEffects":{"type":"boolean","value":"true"})"), std::string::npos);
    EXPECT_NE(arguments[8].find(R"("ExportNotesPages":{"type":"boolean","value":"false"})"), std::string::npos);
    EXPECT_EQ(arguments[9], "--outdir");
    EXPECT_EQ(arguments[10].rfind(office.temporary.Path().string() + "/corvanex-office-", 0), 0u);
    EXPECT_EQ(arguments[11], (office.folder / "talk.pptx").string());
    EXPECT_EQ(cwd.rfind(office.temporary.Path().string() + "/corvanex-office-", 0), 0u) << cwd;
    EXPECT_EQ(input, "/dev/null");
    EXPECT_TRUE(environment.count("PATH") && environment.count("TMPDIR") && environment.count("LANG"));
    EXPECT_FALSE(environment.count("CORVANEX_TEST_SECRET") || environment.count(kOfficeProgramVariable));
}

TEST(OfficePDF, WithoutLibreOfficeTheMessageSaysHowToGetIt)
{
    FakeOffice office("office-missing");
    const EnvironmentSet unnamed(kOfficeProgramVariable, std::nullopt);
    const EnvironmentSet path("PATH", office.temporary.Path().string());
    EXPECT_EQ(office.Refusal(), "cannot convert the presentation " + office.Deck() +
                                    ": LibreOffice is not installed (no soffice or libreoffice on PATH); install it "
                                    "(on Debian: apt-get install libreoffice-impress), or export the deck as a PDF "
                                    "from its presentation program and convert the PDF");
    {
        const EnvironmentSet named(kOfficeProgramVariable, "no-such-office");
        EXPECT_EQ(office.Refusal(), "cannot convert the presentation " + office.Deck() +
                                        ": the program 'no-such-office' that CORVANEX_SOFFICE names is not on PATH");
    }
    // libreoffice, when there is no soffice.
    office.Script(kOutputFolder + "printf '%%PDF-1.7' > \"$out/talk.pdf\"\n");
    fs::rename(office.folder / "soffice", office.folder / "libreoffice");
    const EnvironmentSet found("PATH", office.folder.Path().string());
    EXPECT_EQ(office.Refusal(), "accepted");
}

TEST(OfficePDF, EachFailureNamesTheDeck)
{
    FakeOffice office("office-fails");
    const std::string failed = "LibreOffice failed converting the presentation " + office.Deck();
    const std::string noPDF = "LibreOffice made no PDF of the presentation " + office.Deck();
    const std::pair<std::string, std::string> cases[] = {
        {"echo 'Warning: failed to launch javaldx'; echo 'it broke' >&2; echo 'twice'; exit 1\n",
         failed + " (exit status 1) (it said: it broke; twice)"},
        {"exit 0\n", noPDF + "; it exports presentations only"},
        {"echo 'Error: source file could not be loaded'; exit 0\n",
         "the presentation " + office.Deck() + " is damaged: LibreOffice cannot open it"},
        {kOutputFolder + "echo 'no PDF at all' > \"$out/talk.pdf\"\n", noPDF + ": what it wrote is not a PDF"},
        {kOutputFolder + ": > \"$out/talk.pdf\"\n", noPDF + ": what it wrote is not a PDF"},
        {kOutputFolder + "printf '%%PDF-1.4 cut short' > \"$out/talk.pdf\"; exit 134\n", failed + " (exit status 134)"},
        {"printf 'dying\\033[0m'; kill -9 $$\n",
         "LibreOffice ended on signal 9 converting the presentation " + office.Deck() + " (it said: dying [0m)"},
        {"head -c 100000 /dev/zero | tr '\\0' 'x'; exit 2\n", failed + " (exit status 2) (it said: ..." +
                                                               std::string(400, 'x') + ")"},
    };
    for (const auto& [script, message] : cases) {
        office.Script(script);
        EXPECT_EQ(office.Refusal(), message) << script;
    }
}

// A zip local header and its data: `method` 0 stored, 8 deflated (raw, as zip has it).
std::string ZipEntry(const std::string& name, const std::string& data, int method)
{
    std::string stored = data;
    if (method == 8) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        stored.resize(deflateBound(&stream, data.size()));
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(data.size());
        stream.next_out = reinterpret_cast<Bytef*>(stored.data());
        stream.avail_out = static_cast<uInt>(stored.size());
        deflate(&stream, Z_FINISH);
        stored.resize(stream.total_out);
        deflateEnd(&stream);
    }
    const auto word = [](size_t value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; };
    return "PK\x03\x04" + word(20) + word(0) + word(static_cast<size_t>(method))  // version, flags, method
           + std::string(16, '\0')                                                // time, date, CRC, sizes (unread)
           + word(name.size()) + word(0) + name + stored;                        // name, no extra field
}

// When it cannot open the deck, what the file holds tells why.
TEST(OfficePDF, ADeckItCannotOpenIsDamagedLockedOrNoPresentation)
{
    FakeOffice office("office-unopenable");
    office.Script("echo 'Error: source file could not be loaded'\n");
    const auto wide = [](const std::string& text) {
        std::string bytes;
        for (char c : text) bytes += std::string{c, '\0'};
        return bytes;
    };
    const std::string compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const std::string deck = office.Deck();
    const std::pair<std::string, std::string> cases[] = {
        {compound + std::string(500, '\0') + wide("EncryptedPackage"),
         "the presentation " + deck + " needs a password to open; save it without one first"},
        {compound + wide("Current User") + wide("PowerPoint Document"),
         "the presentation " + deck + " is damaged or needs a password: LibreOffice cannot open it"},
        {"PK\x03\x04" + std::string(26, '\1') + "word/document.xml",
         "the file " + deck + " is not a presentation but a text document: only presentations are converted"},
        {"PK\x03\x04mimetypeapplication/vnd.oasis.opendocument.spreadsheet",
         "the file " + deck + " is not a presentation but a spreadsheet: only presentations are converted"},
        {"PK\x03\x04" + std::string(3u << 20, 'z') + "ppt/presentation.xml",
         "the presentation " + deck + " is damaged: LibreOffice cannot open it"},
        // An OpenDocument package saved with a password: its manifest, wherever
        // it lies (here its header across the line between two reads of the
        // file), gives its parts' encryption data.
        {ZipEntry("mimetype", "application/vnd.oasis.opendocument.presentation", 0) +
             std::string((2u << 20) - 84 - 10, 'c') +
             ZipEntry("META-INF/manifest.xml", "<manifest:file-entry manifest:full-path=\"content.xml\">"
                                               "<manifest:encryption-data manifest:checksum-type=\"SHA1/1K\"/>", 8),
         "the presentation " + deck + " needs a password to open; save it without one first"},
        {ZipEntry("mimetype", "application/vnd.oasis.opendocument.presentation", 0) +
             ZipEntry("META-INF/manifest.xml", "<manifest:file-entry manifest:full-path=\"content.xml\"/>", 0),
         "the presentation " + deck + " is damaged: LibreOffice cannot open it"},
        {ZipEntry("META-INF/manifest.xml", "", 8).substr(0, 40),
         "the presentation " + deck + " is damaged: LibreOffice cannot open it"},
    };
    for (const auto& [bytes, message] : cases) {
        office.folder.Write("talk.pptx", bytes);
        EXPECT_EQ(office.Refusal(), message) << message;
    }
    // An empty file would be opened as a new presentation: LibreOffice is not asked.
    office.folder.Write("talk.pptx", "");
    office.Script("touch '" + (office.folder / "ran").string() + "'\n");
    EXPECT_EQ(office.Refusal(), "the presentation " + deck + " is empty");
    EXPECT_FALSE(fs::exists(office.folder / "ran"));
    fs::remove(office.folder / "talk.pptx");
    EXPECT_EQ(office.Refusal().rfind("cannot open the presentation " + deck + ": ", 0), 0u);
}

// Whether the process is gone (a zombie counts: only its parent can reap it).
bool Ended(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(status, line)) return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

bool EndsSoon(pid_t pid)
{
    for (int tries = 0; tries < 200 && !Ended(pid); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Ended(pid);
}

pid_t ReadPid(const fs::path& file)
{
    for (int tries = 0; tries < 300; ++tries) {
        std::ifstream input(file);
        if (pid_t pid = 0; input >> pid && pid > 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

TEST(OfficePDF, TheTimeLimitStopsTheProgramAndWhatItStarted)
{
    FakeOffice office("office-slow");
    const fs::path helper = office.folder / "helper.pid";
    office.Script("sleep 30 & echo $! > '" + helper.string() + "'\nsleep 30\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(office.Refusal(1), "LibreOffice did not finish converting the presentation " + office.Deck() +
                                     " within 1 second, and was stopped (--office-timeout sets the limit)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    const pid_t pid = ReadPid(helper);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(EndsSoon(pid)) << "the program's own helper is still running";

    // A helper left running after the program ends holds its output open:
    // it goes with its group, and the run does not wait for it.
    office.Script("sleep 30 & echo $! > '" + helper.string() + "'\n" + kOutputFolder +
                  "printf '%%PDF-1.4' > \"$out/talk.pdf\"\n");
    fs::remove(helper);
    const auto second = std::chrono::steady_clock::now();
    EXPECT_EQ(office.Refusal(), "accepted");
    EXPECT_LT(std::chrono::steady_clock::now() - second, std::chrono::seconds(3));
    EXPECT_TRUE(EndsSoon(ReadPid(helper)));
}

// Interrupted while LibreOffice works, the converter ends it and its folder,
// and then ends by the signal.
TEST(OfficePDF, AnInterruptedRunLeavesNothingBehind)
{
    FakeOffice office("office-interrupted");
    const fs::path helper = office.folder / "helper.pid";
    office.Script("sleep 30 & echo $! > '" + helper.string() + "'\nsleep 30\n");
    office.folder.MakeDeck("unused", 0);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // One this process ignores (SIGHUP under nohup) the converter ignores too.
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
        fs::remove(helper);
        const pid_t child = StartConverter(office.folder.Path(), {"--forward", "forward.jpg", "--backward",
                                                                  "backward.jpg", "talk.pptx", "talk.swf"});
        ASSERT_GT(child, 0);
        const pid_t pid = ReadPid(helper);  // LibreOffice is at work
        ASSERT_GT(pid, 0);
        EXPECT_EQ(Listing(office.temporary.Path()).size(), 1u);
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_EQ(Listing(office.temporary.Path()), std::set<std::string>{}) << signal;
        EXPECT_TRUE(EndsSoon(pid)) << signal;
        EXPECT_FALSE(fs::exists(office.folder / "talk.swf"));
    }
}

TEST(OfficePDF, ProgramsAreFoundAsTheShellFindsThem)
{
    Scratch folder("office-path");
    folder.Write("tool", "#!/bin/sh\n");
    folder.Write("plain", "not a program");
    fs::permissions(folder / "tool", fs::perms::owner_all);
    fs::create_directory(folder / "tool.d");
    const std::string there = folder.Path().string();
    EXPECT_EQ(FindProgram("tool", "/nonexistent:" + there), there + "/tool");
    EXPECT_EQ(FindProgram("plain", there), "");
    EXPECT_EQ(FindProgram("tool.d", there), "");
    EXPECT_EQ(FindProgram("sub/tool", "/bin"), fs::absolute("sub/tool").string());
    EXPECT_EQ(FindProgram("", there), "");
}

#endif

}  // namespace
