#include "driver/core/inputfile.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "base/futf8names.h"
#else
#include <unistd.h>
#endif

#include "driver/core/error.h"
#include "driver/core/outputguard.h"

namespace {

// Closes the descriptor unless it is released to the caller.
class DescriptorHolder {
public:
    explicit DescriptorHolder(int descriptor) : descriptor(descriptor) {}
    ~DescriptorHolder()
    {
        if (descriptor >= 0) close(descriptor);
    }
    DescriptorHolder(const DescriptorHolder&) = delete;
    DescriptorHolder& operator=(const DescriptorHolder&) = delete;
    int Get() const { return descriptor; }
    int Release()
    {
        const int released = descriptor;
        descriptor = -1;
        return released;
    }

private:
    int descriptor;
};

#ifdef _WIN32
// Binary, so that the bytes are read as they are; not inherited by a child.
// (No FIFO can hold an open up here.)
constexpr int kInputFlags = O_RDONLY | O_BINARY | O_NOINHERIT;

int OpenByName(const std::string& name)
{
    return _wopen(FWideFromUTF8(name).c_str(), kInputFlags);
}
#else
constexpr int kInputFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;

int OpenByName(const std::string& name)
{
    return open(name.c_str(), kInputFlags);
}
#endif

}  // namespace

int OpenInputFile(const std::string& name, const char* what, const char* hint, struct stat* statusOut)
{
    const auto cannot = [&](const char* verb, const std::string& reason) {
        return ConverterError(std::string("cannot ") + verb + " the " + what + " " + Quoted(name) + ": " + reason,
                              kExitFailure);
    };
#ifdef _WIN32
    // A folder cannot be opened as a file there: found first, for its message.
    const DWORD attributes = GetFileAttributesW(FWideFromUTF8(name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw cannot("read", "it is a directory");
#endif
    DescriptorHolder file(OpenByName(name));
    if (file.Get() < 0) throw cannot("open", ErrorText(errno) + hint);
    struct stat status {};
    if (fstat(file.Get(), &status) != 0) throw cannot("read", ErrorText(errno));
#ifdef _WIN32
    // A device (NUL, CON) opens like a file; only a file on a disk is one.
    // The size, 32-bit in this stat, from the system (a larger file is too
    // large for the converter anyway).
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.Get()));
    if (GetFileType(handle) != FILE_TYPE_DISK) throw cannot("read", "it is not a regular file");
    if (LARGE_INTEGER size{}; GetFileSizeEx(handle, &size))
        status.st_size = static_cast<decltype(status.st_size)>(
            std::min<int64_t>(size.QuadPart, std::numeric_limits<decltype(status.st_size)>::max()));
#endif
    if (!S_ISREG(status.st_mode))
        throw cannot("read", S_ISDIR(status.st_mode) ? "it is a directory" : "it is not a regular file");
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(file.Get());
    if (!identity) throw cannot("read", ErrorText(errno));
    OutputGuard::CheckInput(*identity, name, what);
#ifndef _WIN32
    // Reads of a regular file never wait; blocking again keeps the C library's
    // streams plain. Of the flags the file was opened with, only O_NONBLOCK is
    // one F_SETFL changes, so clearing them all clears it alone.
    if (fcntl(file.Get(), F_SETFL, 0) != 0) throw cannot("read", ErrorText(errno));
#endif
    if (statusOut) *statusOut = status;
    return file.Release();
}

void CheckInputFile(const std::string& name, const char* what)
{
    close(OpenInputFile(name, what));
}

InputFilePointer OpenForReading(const std::string& name, const char* what, const char* hint)
{
    const int descriptor = OpenInputFile(name, what, hint);
    std::FILE* file = fdopen(descriptor, "rb");
    if (!file) {
        const int error = errno;
        close(descriptor);
        throw ConverterError(std::string("cannot read the ") + what + " " + Quoted(name) + ": " + ErrorText(error),
                             kExitFailure);
    }
    return InputFilePointer(file);
}

std::vector<uint8_t> LoadWholeFile(const std::string& name, const char* what)
{
    InputFilePointer file = OpenForReading(name, what);
    constexpr size_t kLimit = static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2);
    // One read straight into a buffer of the file's size (slides run to
    // hundreds of megabytes); whatever follows (a file that grew) in chunks.
    size_t expected = 0;
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && status.st_size > 0)
        expected = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(status.st_size), kLimit + 1));
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
