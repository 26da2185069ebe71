#pragma once

// Runs the converter as a process in a scratch folder of its own and collects
// what it printed and its exit status.

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/movie_folder.h"

namespace swftest {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

#ifdef _WIN32
// cmd.exe's quoting, which the C library's argument parsing then reads: a
// quote inside is doubled backslashes and \", and the backslashes before the
// closing quote are doubled.
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

// A program built here and run under Wine is named by its Unix path, which
// Wine's drive Z: holds.
inline std::string ProgramPath(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    std::string windows = "Z:" + path;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

inline int ProcessId() { return _getpid(); }
#else
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string ProgramPath(const std::string& path) { return path; }

inline int ProcessId() { return static_cast<int>(getpid()); }

// Starts the converter in `folder` with its output and errors thrown away,
// for a test that signals or watches it as it runs; the caller waits for it.
inline pid_t StartConverter(const std::filesystem::path& folder, std::vector<std::string> arguments)
{
    std::string program = CORVANEX_BINARY;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string where = folder.string();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || chdir(where.c_str()) != 0) _exit(127);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}
#endif

// Standard output as the tests compare it: Windows ends lines with CR-LF.
inline std::string WithLineFeeds(std::string text)
{
#ifdef _WIN32
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
#endif
    return text;
}

inline std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream input(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

// The names of the entries of a folder.
inline std::set<std::string> Listing(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream output(path, std::ios::binary);
    output << bytes;
}

// A JPEG as far as the converter reads it: a header of a `width` x `height`
// grey image (the slide size of MakeDeck's configuration by default), then
// `size` bytes of `fill` as its scan data and the end marker. The converter
// reads headers only, so the scan data need not decode.
inline std::string TinyJPEG(char fill = 'x', size_t size = 16, int width = 640, int height = 480)
{
    const auto word = [](int value) { return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; };
    std::string bytes = "\xFF\xD8";                                     // start of image
    bytes += "\xFF\xDB" + word(67) + std::string(1, '\0') + std::string(64, '\x01');  // quantisation table 0
    bytes += "\xFF\xC0" + word(11) + "\x08" + word(height) + word(width)  // baseline frame, 8 bits
             + std::string("\x01\x01\x11\x00", 4);                       // one component, 1x1, table 0
    for (const char* tableClass : {"\x00", "\x10"})                      // DC and AC Huffman table 0:
        bytes += "\xFF\xC4" + word(20) + std::string(tableClass, 1)       // one 1-bit code for symbol 0
                 + "\x01" + std::string(15, '\0') + std::string(1, '\0');
    bytes += "\xFF\xDA" + word(8) + std::string("\x01\x01\x00\x00\x3F\x00", 6);  // start of scan
    bytes += std::string(size, fill);
    return bytes + "\xFF\xD9";
}

// A tiny valid movie (version 4, no frames): an output file that a test
// expects a failed run to leave as it was.
inline std::string TinyMovie()
{
    return std::string("FWS\x04\x0F\x00\x00\x00", 8)  // signature, version, file length 15
           + std::string("\x00", 1)                       // frame rectangle of 0-bit fields
           + std::string("\x00\x0C", 2)                   // 12 frames per second
           + std::string("\x00\x00", 2)                   // no frames
           + std::string("\x00\x00", 2);                  // End
}

// A folder of its own under TempDir(), removed with everything in it at the
// end, unless written files are being kept (movie_folder.h): then it stays,
// and every run keeps a copy of each movie in the folder as it left it, so
// that a later run writing the same name hides nothing.
class Scratch {
public:
    explicit Scratch(const std::string& name)
        : root(std::filesystem::path(::testing::TempDir()) / ("corvanex-" + name + "-" + std::to_string(ProcessId())))
    {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~Scratch()
    {
        if (!KeepingMovies()) std::filesystem::remove_all(root);
    }

    std::filesystem::path operator/(const std::string& name) const { return root / name; }
    const std::filesystem::path& Path() const { return root; }

    void Write(const std::string& name, const std::string& bytes) const { WriteBytes(root / name, bytes); }

    // A deck `prefix`1.jpg ... with a stop file, configuration and button
    // images; the slides are of the configured size when it gives one.
    void MakeDeck(const std::string& prefix, int slides, const std::string& stops = "0\n",
                  const std::string& config = "640\n480\n") const
    {
        int width = 640, height = 480;
        std::istringstream sides(config);
        if (int w = 0, h = 0; sides >> w >> h && w > 0 && h > 0 && w <= 65535 && h <= 65535) width = w, height = h;
        for (int n = 1; n <= slides; ++n)
            Write(prefix + std::to_string(n) + ".jpg", TinyJPEG(static_cast<char>('a' + n % 26), 16, width, height));
        Write(prefix + ".stp", stops);
        Write("config.txt", config);
        Write("forward.jpg", TinyJPEG('f'));
        Write("backward.jpg", TinyJPEG('b'));
    }

    // Runs the converter in this folder, with the deck's own configuration and buttons.
    RunResult Convert(const std::vector<std::string>& arguments, bool ownFiles = true) const
    {
        std::vector<std::string> all;
        if (ownFiles) all = {"--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return Run(CORVANEX_BINARY, all);
    }

    RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& prefix = "") const
    {
#ifdef _WIN32
        // cmd.exe /c drops the outermost quotes of a command that starts with one.
        std::string command = "\"cd /d " + ShellQuoted(root.string()) + " && " + prefix + ShellQuoted(ProgramPath(program));
        for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
        command += " >" + ShellQuoted((root / ".out").string()) + " 2>" + ShellQuoted((root / ".err").string()) + "\"";
        RunResult result;
        result.status = std::system(command.c_str());
#else
        std::string command = "cd " + ShellQuoted(root.string()) + " && " + prefix + ShellQuoted(program);
        for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
        command += " >" + ShellQuoted((root / ".out").string()) + " 2>" + ShellQuoted((root / ".err").string());
        RunResult result;
        const int raw = std::system(command.c_str());
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
        result.out = WithLineFeeds(Slurp(root / ".out"));
        result.err = WithLineFeeds(Slurp(root / ".err"));
        if (KeepingMovies()) KeepMovies();
        return result;
    }

private:
    // Copies every movie directly in the folder to runs/<run>/.
    void KeepMovies() const
    {
        const std::filesystem::path kept = root / "runs" / std::to_string(++runs);
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            if (!entry.is_regular_file() || entry.path().extension() != ".swf") continue;
            std::filesystem::create_directories(kept);
            std::filesystem::copy_file(entry.path(), kept / entry.path().filename());
        }
    }

    std::filesystem::path root;
    mutable int runs = 0;  // runs so far, for the kept copies
};

}  // namespace swftest
