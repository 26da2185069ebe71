#include "driver/input/jpegfile.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>

#include <sys/stat.h>
#ifdef _WIN32
#include "base/fatomicfile.h"  // FReadFromDescriptorAt
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"
#include "driver/core/threadcache.h"
#include "driver/input/jpegheader.h"

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
    CORVANEX_THREAD_CACHE std::vector<uint8_t> start;
    start.clear();
    uint64_t size = 0;
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
#ifdef _WIN32
            const int64_t n = FReadFromDescriptorAt(descriptor, start.data() + got, count - got, got);
#else
            const ssize_t n = pread(descriptor, start.data() + got, count - got, static_cast<off_t>(got));
#endif
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw cannotRead();
            if (n == 0) break;  // the file shrank: its end decides
            got += static_cast<size_t>(n);
        }
        start.resize(got);
    };
    if (keepOpen) region.file = std::move(file);
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
    // The C library's table holds 2048 descriptors; the rest of the run and
    // whatever else opens files in the process keep a good share of them.
    constexpr size_t kHeldAtMost = 1536;
    return std::min(static_cast<size_t>(std::max(slideCount, 0)), kHeldAtMost);
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
