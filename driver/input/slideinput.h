#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "swf/fswfstream.h"

// A problem with the converter's input or output, reported to the user with
// the exit status it deserves. Never a library assertion: everything that comes
// from a file or an argument is checked here first.
class ConverterError : public std::runtime_error {
public:
    ConverterError(const std::string& message, int exitStatus)
        : std::runtime_error(message), exitStatus(exitStatus) {}
    int ExitStatus() const { return exitStatus; }

private:
    int exitStatus;
};

constexpr int kExitFailure = 1;  // an input or output file failed
constexpr int kExitUsage = 2;    // the command line is wrong

// The C `atoi` rule (leading white space, optional sign, digits up to the first
// other character, 0 when there are none), saturating instead of overflowing.
int32_t AtoiRule(std::string_view text);

// The values of a file read line by line: each pass reads up to `lineLimit`
// characters or a line feed; a file ending in a line feed gets one more pass,
// which yields 0. A carriage return stays in its line (and ends the number).
// A read error ends the reading with the values so far; the file's error
// indicator tells the caller.
std::vector<int32_t> ReadLineValues(std::FILE* file, size_t lineLimit);

constexpr size_t kStopPointLineLimit = 6;
constexpr size_t kConfigLineLimit = 255;

// Entry 0 is the first return target; entries 1 on are the stop frames.
std::vector<int32_t> ReadStopPoints(const std::string& name);

struct SlideSize {
    int32_t width = 300;  // pixels
    int32_t height = 200;
};
constexpr int32_t kMaxSlideSide = 65535;  // pixels

// Line 1 the width, line 2 the height; a value that is not a positive size is refused.
SlideSize ReadConfig(const std::string& name);

// The system's text for an errno value. Unlike strerror, safe on any thread:
// slides are read on worker threads too.
std::string ErrorText(int error);

// The whole file; `what` names its role in messages ("slide image", ...).
// Thread-safe.
std::vector<uint8_t> LoadWholeFile(const std::string& name, const char* what);

// A slide or button image must be a JPEG: not empty, starting with FF D8, with
// a header that libjpeg reads (its message says what is wrong otherwise).
// Returns the image's size in pixels.
SlideSize CheckJPEG(const std::vector<uint8_t>& bytes, const std::string& name, const char* what);

// A JPEG left where it lies, with the size its header gives.
struct JPEGFile {
    FSWFFileRegion region;
    SlideSize size;  // pixels
};

// The same checks, and those of LoadWholeFile, made on the file where it lies:
// only the start of the file is read, as far as the header goes. The region
// names the whole file, to be copied into the movie when it is written; with
// `keepOpen` it holds the file open until then.
JPEGFile ReadJPEGFile(const std::string& name, const char* what, bool keepOpen = false);
FSWFFileRegion CheckJPEGFile(const std::string& name, const char* what, bool keepOpen = false);

// How many slide files may stay open from their check to the write: what the
// descriptor limit leaves beside a reserve for everything else, the limit
// raised toward its ceiling first when the deck needs more.
size_t SlideFilesKeptOpen(int32_t slideCount);

// Everything before the first "corvanex.exe" in the program path (so with its
// trailing separator), or empty when the name does not occur.
std::string ExecutableDirectoryFromProgramPath(std::string_view programPath);

// The directory the converter's own files are looked for in, ending with its
// separator (or empty for the working folder).
std::string FindExecutableDirectory(const char* programPath);

// The configuration file beside the executable.
std::string ConfigFileName(const std::string& executableDirectory);

// prefix + n + ".jpg": talk1.jpg, talk12.jpg.
std::string SlideFileName(const std::string& prefix, int32_t n);
