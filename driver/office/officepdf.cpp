#include "driver/office/officepdf.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/pathencoding.h"
#include "driver/core/spillfile.h"
#include "driver/office/childprogram.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A folder of its own among the temporary files, removed with all it holds.
class PrivateFolder {
public:
    PrivateFolder()
    {
        const std::string base = TemporaryFolder();
        std::string pattern = base + (base.empty() || base.back() == '/' ? "" : "/") + "corvanex-office-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            throw ConverterError("cannot make a temporary folder for LibreOffice in '" + base +
                                     "' (set TMPDIR to another folder): " + ErrorText(errno),
                                 kExitFailure);
        }
        // Absolute: LibreOffice is given it as a URL and starts inside it.
        std::error_code error;
        const fs::path absolute = fs::absolute(pattern, error);
        path = error ? pattern : absolute.string();
    }
    ~PrivateFolder() { Remove(); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& Path() const { return path; }
    // Links are removed, never followed.
    void Remove()
    {
        if (path.empty()) return;
        std::error_code ignored;
        fs::remove_all(path, ignored);
        path.clear();
    }

private:
    std::string path;
};

// A local path as a file URL, every byte but the unreserved ones and '/'
// percent-encoded.
std::string FileURL(const std::string& path)
{
    return "file://" + PercentEncodedPath(path);
}

// What LibreOffice is given of the converter's environment: where programs,
// fonts and their settings are, and the user's language (a date field on a
// slide is written in it); nothing that would change how it runs (a
// display, preloaded libraries, its own settings). Its temporary files go
// to the private folder.
std::vector<std::string> QuietEnvironment(const std::string& temporary)
{
    static const std::array<std::string_view, 13> kKept = {
        "PATH",           "HOME",          "USER",          "LOGNAME",         "LANG",
        "LANGUAGE",       "TZ",            "XDG_DATA_HOME", "XDG_DATA_DIRS",   "XDG_CONFIG_HOME",
        "XDG_CACHE_HOME", "FONTCONFIG_FILE", "FONTCONFIG_PATH"};
    std::vector<std::string> environment;
    bool path = false;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        if (name.rfind("LC_", 0) == 0 || std::find(kKept.begin(), kKept.end(), name) != kKept.end()) {
            environment.emplace_back(variable);
            path = path || name == "PATH";
        }
    }
    if (!path) environment.emplace_back("PATH=/usr/local/bin:/usr/bin:/bin");
    environment.push_back("TMPDIR=" + temporary);
    return environment;
}

// The program that converts: the one the environment names, else soffice or
// libreoffice on PATH.
std::string FindOffice(const std::string& deck)
{
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    if (const char* named = std::getenv(kOfficeProgramVariable); named && *named) {
        const std::string program = FindProgram(named, folders);
        if (program.empty()) {
            throw ConverterError(std::string("cannot convert the presentation ") + Quoted(deck) + ": the program '" +
                                     named + "' that " + kOfficeProgramVariable + " names is not on PATH",
                                 kExitFailure);
        }
        return program;
    }
    for (const char* name : {"soffice", "libreoffice"})
        if (std::string program = FindProgram(name, folders); !program.empty()) return program;
    throw ConverterError("cannot convert the presentation " + Quoted(deck) +
                             ": LibreOffice is not installed (no soffice or libreoffice on PATH); install it (on "
                             "Debian: apt-get install libreoffice-impress), or export the deck as a PDF from its "
                             "presentation program and convert the PDF",
                         kExitFailure);
}

// PDF export as a presentation (a text document has no such export, and is
// refused), keeping slide transitions, without notes pages, comments or
// hidden slides.
constexpr const char* kExport =
    "pdf:impress_pdf_Export:{"
    "\"UseTransitionEffects\":{\"type\":\"boolean\",\"value\":\"true\"},"
    "\"ExportNotesPages\":{\"type\":\"boolean\",\"value\":\"false\"},"
    "\"ExportNotes\":{\"type\":\"boolean\",\"value\":\"false\"},"
    "\"ExportHiddenSlides\":{\"type\":\"boolean\",\"value\":\"false\"}}";

// LibreOffice's own lines, for a message: printable, its routine notes left
// out, the last few hundred characters.
std::string Said(const std::string& output)
{
    std::string said;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = ' ';
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (line.empty() || line.rfind("convert ", 0) == 0 || line.find("javaldx") != std::string::npos) continue;
        said += (said.empty() ? "" : "; ") + line;
    }
    constexpr size_t kLongest = 400;
    if (said.size() > kLongest) said = "..." + said.substr(said.size() - kLongest);
    return said.empty() ? "" : " (it said: " + said + ")";
}

// Which of the byte strings occur in the file's first `limit` bytes.
std::vector<bool> FindInFile(const std::string& name, const std::vector<std::string>& needles, uint64_t limit)
{
    std::vector<bool> found(needles.size(), false);
    const int file = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return found;
    size_t overlap = 0;
    for (const std::string& needle : needles) overlap = std::max(overlap, needle.size());
    std::string window;
    std::vector<char> chunk(size_t{1} << 20);
    for (uint64_t read = 0; read < limit;) {
        const ssize_t count = ::read(file, chunk.data(), chunk.size());
        if (count <= 0) break;
        read += static_cast<uint64_t>(count);
        window.append(chunk.data(), static_cast<size_t>(count));
        for (size_t n = 0; n < needles.size(); ++n)
            if (!found[n] && window.find(needles[n]) != std::string::npos) found[n] = true;
        if (window.size() > overlap) window.erase(0, window.size() - overlap);
    }
    close(file);
    return found;
}

std::string Wide(std::string_view text)
{
    std::string wide;
    for (const char c : text) wide += std::string{c, '\0'};
    return wide;
}

// Whether an OpenDocument package lists its parts as encrypted (saved with a
// password): its manifest, found by its local header wherever it lies and
// inflated as far as the first MiB, names their encryption data.
bool EncryptedPackage(const std::string& name, uint64_t limit)
{
    static constexpr std::string_view kManifest = "META-INF/manifest.xml";
    constexpr size_t kHeader = 30;  // a zip local header's fixed part; its name follows
    const int file = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return false;
    int64_t header = -1;
    std::string window;
    std::vector<char> chunk(size_t{1} << 20);
    for (uint64_t read = 0; read < limit && header < 0;) {
        const ssize_t count = ::read(file, chunk.data(), chunk.size());
        if (count <= 0) break;
        const uint64_t windowStart = read - window.size();
        read += static_cast<uint64_t>(count);
        window.append(chunk.data(), static_cast<size_t>(count));
        for (size_t at = window.find("PK\x03\x04"); at != std::string::npos; at = window.find("PK\x03\x04", at + 1)) {
            // One cut off at the window's end is looked at again with the next chunk.
            if (at + kHeader + kManifest.size() <= window.size() &&
                window.compare(at + kHeader, kManifest.size(), kManifest) == 0) {
                header = static_cast<int64_t>(windowStart + at);
                break;
            }
        }
        if (window.size() > kHeader + kManifest.size()) window.erase(0, window.size() - kHeader - kManifest.size());
    }
    std::vector<uint8_t> bytes(size_t{1} << 20);
    const ssize_t count = header < 0 ? -1 : pread(file, bytes.data(), bytes.size(), header);
    close(file);
    if (count < static_cast<ssize_t>(kHeader)) return false;
    const auto word = [&](size_t at) { return static_cast<size_t>(bytes[at] | (bytes[at + 1] << 8)); };
    const size_t data = kHeader + word(26) + word(28);
    if (data >= static_cast<size_t>(count)) return false;
    std::string manifest;
    if (word(8) == 0) {  // stored
        manifest.assign(reinterpret_cast<const char*>(bytes.data() + data), static_cast<size_t>(count) - data);
    } else if (word(8) == 8) {  // deflated, raw
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
        manifest.resize(size_t{1} << 20);
        stream.next_in = bytes.data() + data;
        stream.avail_in = static_cast<uInt>(static_cast<size_t>(count) - data);
        stream.next_out = reinterpret_cast<Bytef*>(manifest.data());
        stream.avail_out = static_cast<uInt>(manifest.size());
        inflate(&stream, Z_FINISH);  // what is there, damaged or not
        manifest.resize(stream.total_out);
        inflateEnd(&stream);
    }
    return manifest.find("encryption-data") != std::string::npos;
}

// Why LibreOffice could not open a deck, from what the file holds: the
// encrypted package of a presentation saved with a password (an office
// file's, or an OpenDocument manifest's encryption data), or the parts of a
// text document or a spreadsheet; else it is damaged.
ConverterError Unopenable(const std::string& deck)
{
    constexpr uint64_t kLooked = uint64_t{256} << 20;
    const std::vector<std::string> needles = {
        std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8),   // a compound file (the old binary formats, encryption)
        Wide("EncryptedPackage"),                            // an office file saved with a password
        Wide("PowerPoint Document"),                         // a binary presentation
        Wide("WordDocument"), "word/document.xml", "opendocument.text",
        Wide("Workbook"), "xl/workbook.xml", "opendocument.spreadsheet",
    };
    const std::vector<bool> found = FindInFile(deck, needles, kLooked);
    const bool compound = found[0];
    if ((compound && found[1]) || EncryptedPackage(deck, kLooked)) {
        return ConverterError("the presentation " + Quoted(deck) + " needs a password to open; save it without one "
                                  "first",
                              kExitFailure);
    }
    if (compound && found[2]) {
        return ConverterError("the presentation " + Quoted(deck) +
                                  " is damaged or needs a password: LibreOffice cannot open it",
                              kExitFailure);
    }
    const auto notAPresentation = [&](const char* what) {
        return ConverterError("the file " + Quoted(deck) + " is not a presentation but " + what +
                                  ": only presentations are converted",
                              kExitFailure);
    };
    if ((compound && found[3]) || found[4] || found[5]) return notAPresentation("a text document");
    if ((compound && found[6]) || found[7] || found[8]) return notAPresentation("a spreadsheet");
    return ConverterError("the presentation " + Quoted(deck) + " is damaged: LibreOffice cannot open it", kExitFailure);
}

// The PDF LibreOffice wrote in `folder`, when it wrote one.
std::string WrittenPDF(const std::string& folder)
{
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const fs::path& name = entry.path();
        std::string extension = name.extension().string();
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".pdf" && entry.is_regular_file(error)) return name.string();
    }
    return {};
}

}  // namespace

OfficePDF::OfficePDF(const OfficeConversion& conversion)
{
    const std::string& deck = conversion.deckFile;
    struct stat status {};
    close(OpenInputFile(deck, "presentation", "", &status));
    // LibreOffice opens an empty file as a new, empty presentation.
    if (status.st_size == 0) throw ConverterError("the presentation " + Quoted(deck) + " is empty", kExitFailure);
    const std::string program = FindOffice(deck);
    std::error_code error;
    fs::path absolute = fs::absolute(deck, error);
    if (error) absolute = deck;

    // Made and removed while no signal can strike between the two.
    const SignalHold hold;
    PrivateFolder folder;
    const std::string profile = folder.Path() + "/profile", output = folder.Path() + "/pdf",
                      temporary = folder.Path() + "/tmp";
    for (const std::string& made : {output, temporary}) {
        if (mkdir(made.c_str(), 0700) != 0) {
            throw ConverterError("cannot make a temporary folder for LibreOffice in '" + folder.Path() + "': " +
                                     ErrorText(errno),
                                 kExitFailure);
        }
    }
    ChildProgram child;
    child.program = program;
    child.arguments = {"-env:UserInstallation=" + FileURL(profile),
                       "--headless",
                       "--invisible",
                       "--nologo",
                       "--nodefault",
                       "--nolockcheck",
                       "--norestore",
                       "--convert-to",
                       kExport,
                       "--outdir",
                       output,
                       absolute.string()};
    child.environment = QuietEnvironment(temporary);
    child.folder = folder.Path();
    child.timeLimit = std::chrono::seconds(conversion.timeLimitSeconds);
    child.onInterrupt = [&folder] { folder.Remove(); };
    const ChildOutcome outcome = RunChildProgram(child, hold, "LibreOffice");

    const std::string converting = "the presentation " + Quoted(deck);
    if (outcome.end == ChildOutcome::End::kTimedOut) {
        const int32_t seconds = conversion.timeLimitSeconds;
        throw ConverterError("LibreOffice did not finish converting " + converting + " within " +
                                 std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
                                 ", and was stopped (--office-timeout sets the limit)",
                             kExitFailure);
    }
    if (outcome.end == ChildOutcome::End::kSignalled) {
        throw ConverterError("LibreOffice ended on signal " + std::to_string(outcome.status) + " converting " +
                                 converting + Said(outcome.output),
                             kExitFailure);
    }
    const std::string written = WrittenPDF(output);
    // It says so, and ends with status 0.
    if (written.empty() && outcome.output.find("source file could not be loaded") != std::string::npos)
        throw Unopenable(deck);
    if (outcome.status != 0) {
        throw ConverterError("LibreOffice failed converting " + converting + " (exit status " +
                                 std::to_string(outcome.status) + ")" + Said(outcome.output),
                             kExitFailure);
    }
    if (written.empty()) {
        throw ConverterError("LibreOffice made no PDF of " + converting +
                                 "; it exports presentations only" + Said(outcome.output),
                             kExitFailure);
    }
    descriptor = open(written.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    char magic[5] = {};
    if (descriptor < 0 || pread(descriptor, magic, sizeof magic, 0) != static_cast<ssize_t>(sizeof magic) ||
        std::memcmp(magic, "%PDF-", sizeof magic) != 0) {
        if (descriptor >= 0) close(descriptor);
        descriptor = -1;
        throw ConverterError("LibreOffice made no PDF of " + converting + ": what it wrote is not a PDF", kExitFailure);
    }
    // Open, it needs no name: nothing is left behind from here on.
    folder.Remove();
    path = "/proc/self/fd/" + std::to_string(descriptor);
}

OfficePDF::~OfficePDF()
{
    if (descriptor >= 0) close(descriptor);
}
