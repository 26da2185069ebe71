#include "driver/input/slideinput.h"

#include "driver/core/inputfile.h"
#include "driver/input/jpegheader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

FilePointer OpenForReading(const std::string& name, const char* what, const char* hint = "")
{
#ifdef _WIN32
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        const int error = errno;
        throw ConverterError(std::string("cannot open the ") + what + " " + Quoted(name) + ": " + ErrorText(error) + hint,
                             kExitFailure);
    }
    return FilePointer(file);
#else
    const int descriptor = OpenInputFile(name, what, hint);
    std::FILE* file = fdopen(descriptor, "rb");
    if (!file) {
        const int error = errno;
        close(descriptor);
        throw ConverterError(std::string("cannot read the ") + what + " " + Quoted(name) + ": " + ErrorText(error),
                             kExitFailure);
    }
    return FilePointer(file);
#endif
}

// strerror_r comes in two forms: the GNU one returns the text (which need not
// be in the buffer), the POSIX one fills the buffer and returns 0 or an error.
[[maybe_unused]] const char* StrerrorText(const char* text, const char*) { return text; }
[[maybe_unused]] const char* StrerrorText(int failed, const char* buffer) { return failed == 0 ? buffer : nullptr; }

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t AtoiRule(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

std::vector<int32_t> ReadLineValues(std::FILE* file, size_t lineLimit)
{
    std::vector<int32_t> values;
    std::string line;
    // The end-of-file test comes before each pass, so a final line feed gives
    // one more pass; a character read at the end is EOF, which is not a digit.
    // A read error sets neither the end-of-file indicator nor gives a line
    // feed: it ends the reading, and the caller reports it.
    while (!std::feof(file) && !std::ferror(file)) {
        line.clear();
        while (line.size() < lineLimit) {
            const int c = std::fgetc(file);
            if (c == '\n') break;
            if (c == EOF && std::ferror(file)) return values;
            line.push_back(static_cast<char>(c));
        }
        values.push_back(AtoiRule(line));
    }
    return values;
}

std::vector<int32_t> ReadStopPoints(const std::string& name)
{
    FilePointer file = OpenForReading(name, "stop-point file",
                                      " (an empty file gives a show without stop points)");
    std::vector<int32_t> table = ReadLineValues(file.get(), kStopPointLineLimit);
    if (std::ferror(file.get())) {
        throw ConverterError("cannot read the stop-point file " + Quoted(name) + ": " + std::strerror(errno),
                             kExitFailure);
    }
    return table;
}

SlideSize ReadConfig(const std::string& name)
{
    FilePointer file = OpenForReading(name, "configuration file");
    const std::vector<int32_t> values = ReadLineValues(file.get(), kConfigLineLimit);
    if (std::ferror(file.get())) {
        throw ConverterError("cannot read the configuration file " + Quoted(name) + ": " + std::strerror(errno),
                             kExitFailure);
    }

    SlideSize size;
    if (values.size() > 0) size.width = values[0];
    if (values.size() > 1) size.height = values[1];
    auto check = [&](int32_t value, const char* side, const char* line) {
        if (value <= 0 || value > kMaxSlideSide) {
            throw ConverterError("the configuration file " + Quoted(name) + " gives the slide " + side +
                                     " " + std::to_string(value) + " (" + line +
                                     "), which is not a size from 1 to " + std::to_string(kMaxSlideSide) +
                                     " pixels",
                                 kExitFailure);
        }
    };
    check(size.width, "width", "line 1");
    check(size.height, "height", "line 2");
    return size;
}

std::string ErrorText(int error)
{
    char buffer[256] = {};
#ifdef _WIN32
    const char* text = strerror_s(buffer, sizeof buffer, error) == 0 ? buffer : nullptr;
#else
    const char* text = StrerrorText(strerror_r(error, buffer, sizeof buffer), buffer);
#endif
    return text && *text ? std::string(text) : "error " + std::to_string(error);
}

std::vector<uint8_t> LoadWholeFile(const std::string& name, const char* what)
{
    FilePointer file = OpenForReading(name, what);
    constexpr size_t kLimit = static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2);
    // One read straight into a buffer of the file's size (slides run to
    // hundreds of megabytes); whatever follows (a file that grew) in chunks.
    size_t expected = 0;
#ifndef _WIN32
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && status.st_size > 0)
        expected = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(status.st_size), kLimit + 1));
#endif
    std::vector<uint8_t> bytes(expected);
    bytes.resize(expected > 0 ? std::fread(bytes.data(), 1, expected, file.get()) : 0);
    uint8_t chunk[65536];
    size_t count = 0;
    while (bytes.size() <= kLimit && (count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    if (bytes.size() > kLimit)
        throw ConverterError(std::string("the ") + what + " " + Quoted(name) + " is too large", kExitFailure);
    if (std::ferror(file.get())) {
        const int error = errno;
        throw ConverterError(std::string("cannot read the ") + what + " " + Quoted(name) + ": " + ErrorText(error),
                             kExitFailure);
    }
    return bytes;
}

namespace {

// The start checks, made before libjpeg sees the bytes: their messages say
// plainly what is wrong with the commonest mistakes.
void CheckJPEGStart(const uint8_t* bytes, size_t size, const std::string& name, const char* what)
{
    if (size == 0)
        throw ConverterError(std::string("the ") + what + " " + Quoted(name) + " is empty", kExitFailure);
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        throw ConverterError(std::string("the ") + what + " " + Quoted(name) + " is not a JPEG image",
                             kExitFailure);
    }
}

SlideSize SizeFromHeader(const JPEGHeader& header, const std::string& name, const char* what)
{
    if (header.outcome != JPEGHeader::Outcome::kRead) {
        throw ConverterError(std::string("the ") + what + " " + Quoted(name) +
                                 " is not a JPEG image that can be read: " + header.message,
                             kExitFailure);
    }
    return SlideSize{header.width, header.height};
}

// Most headers end within the first few kilobytes; one with a large
// thumbnail or colour profile in front takes a few more reads.
constexpr size_t kFirstHeaderRead = 8192;
constexpr size_t kHeaderReadGrowth = 8;

}  // namespace

SlideSize CheckJPEG(const std::vector<uint8_t>& bytes, const std::string& name, const char* what)
{
    CheckJPEGStart(bytes.data(), bytes.size(), name, what);
    return SizeFromHeader(ReadJPEGHeader(bytes.data(), bytes.size(), true), name, what);
}

FSWFFileRegion CheckJPEGFile(const std::string& name, const char* what, bool keepOpen)
{
    return ReadJPEGFile(name, what, keepOpen).region;
}

JPEGFile ReadJPEGFile(const std::string& name, const char* what, bool keepOpen)
{
    const auto cannotRead = [&] {
        const int error = errno;
        return ConverterError(std::string("cannot read the ") + what + " " + Quoted(name) + ": " + ErrorText(error),
                              kExitFailure);
    };
    FSWFFileRegion region;
    region.path = name;
    // The start of the file, in a buffer kept from slide to slide.
    thread_local std::vector<uint8_t> start;
    start.clear();
    uint64_t size = 0;
#ifdef _WIN32
    (void)keepOpen;  // read again by name when the movie is written
    FilePointer file = OpenForReading(name, what);
    if (_fseeki64(file.get(), 0, SEEK_END) != 0) throw cannotRead();
    const int64_t end = _ftelli64(file.get());
    if (end < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) throw cannotRead();
    size = static_cast<uint64_t>(end);
    const auto readStart = [&](size_t count) {
        start.resize(count);
        if (std::fseek(file.get(), 0, SEEK_SET) != 0) throw cannotRead();
        start.resize(std::fread(start.data(), 1, count, file.get()));
        if (std::ferror(file.get())) throw cannotRead();
    };
#else
    // A few system calls a slide, so that a deck of thousands is checked in a
    // moment. Without blocking, a FIFO is refused, not waited on.
    struct stat status {};
    const int descriptor = OpenInputFile(name, what, "", &status);
    // Owned from here: closed with the region, or here when it is not kept.
    auto file = std::make_shared<const FSWFOpenFile>(descriptor);
    size = static_cast<uint64_t>(status.st_size);
    const auto readStart = [&](size_t count) {
        start.resize(count);
        size_t got = 0;
        while (got < count) {
            const ssize_t n = pread(descriptor, start.data() + got, count - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw cannotRead();
            if (n == 0) break;  // the file shrank: its end decides
            got += static_cast<size_t>(n);
        }
        start.resize(got);
    };
    if (keepOpen) region.file = std::move(file);
#endif
    if (size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max() / 2))
        throw ConverterError(std::string("the ") + what + " " + Quoted(name) + " is too large", kExitFailure);

    // The header from a prefix of the file, grown while it runs past it.
    const size_t fileSize = static_cast<size_t>(size);
    size_t wanted = std::min(kFirstHeaderRead, fileSize);
    // A file that gives bytes but has no size is as empty as it says.
    if (wanted > 0) readStart(wanted);
    CheckJPEGStart(start.data(), start.size(), name, what);
    JPEGHeader header;
    for (;;) {
        const bool whole = start.size() < wanted || start.size() >= fileSize;
        header = ReadJPEGHeader(start.data(), start.size(), whole);
        if (header.outcome != JPEGHeader::Outcome::kIncomplete || whole) break;
        wanted = fileSize / kHeaderReadGrowth < wanted ? fileSize : wanted * kHeaderReadGrowth;
        readStart(wanted);
    }

    JPEGFile result;
    result.size = SizeFromHeader(header, name, what);
    region.offset = 0;
    region.size = static_cast<int32_t>(size);
    region.fileSize = size;
    result.region = std::move(region);
    return result;
}

size_t SlideFilesKeptOpen(int32_t slideCount)
{
#ifdef _WIN32
    (void)slideCount;
    return 0;
#else
    // Standard streams, configuration, buttons, the output and what the C
    // library may open: a generous reserve.
    constexpr rlim_t kReserve = 64;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const rlim_t wanted = static_cast<rlim_t>(std::max(slideCount, 0)) + kReserve;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return static_cast<size_t>(std::max(slideCount, 0));
    return limit.rlim_cur > kReserve ? static_cast<size_t>(limit.rlim_cur - kReserve) : 0;
#endif
}

std::string ExecutableDirectoryFromProgramPath(std::string_view programPath)
{
    const size_t found = programPath.find("corvanex.exe");
    return found == std::string_view::npos ? std::string() : std::string(programPath.substr(0, found));
}

std::string FindExecutableDirectory(const char* programPath)
{
#ifdef _WIN32
    return ExecutableDirectoryFromProgramPath(programPath ? programPath : "");
#else
    // The directory of the running executable, wherever it was started from.
    std::string path;
    char link[4096];
    const ssize_t length = readlink("/proc/self/exe", link, sizeof link - 1);
    if (length > 0) {
        path.assign(link, static_cast<size_t>(length));
    } else if (programPath) {
        path = programPath;
    }
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
#endif
}

std::string ConfigFileName(const std::string& executableDirectory)
{
#ifdef _WIN32
    return executableDirectory + "\\config.txt";
#else
    return executableDirectory + "config.txt";
#endif
}

std::string SlideFileName(const std::string& prefix, int32_t n)
{
    return prefix + std::to_string(n) + ".jpg";
}
