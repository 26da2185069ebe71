#include "swf/ffileregion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/fatomicfile.h"  // FWriteAllToDescriptor

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>

#include "base/futf8names.h"
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/sendfile.h>
#endif

FSWFOpenFile::~FSWFOpenFile()
{
#ifdef _WIN32
    if (descriptor >= 0) _close(descriptor);
#else
    if (descriptor >= 0) close(descriptor);
#endif
}

namespace {

// Region bytes that cannot be copied by the kernel pass through a buffer of this size.
constexpr size_t kCopyBufferSize = 64 * 1024;

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

bool Fail(std::string* error, const std::string& reason)
{
    if (error) *error = reason;
    return false;
}

bool CannotRead(const FSWFFileRegion& region, std::string* error)
{
    return Fail(error, "cannot read " + Quoted(region.path) + ": " + std::strerror(errno));
}

bool CheckSize(const FSWFFileRegion& region, uint64_t size, std::string* error)
{
    if (size == region.fileSize || (region.unnamed && size > region.fileSize)) return true;
    return Fail(error, Quoted(region.path) + " changed size since it was checked (" +
                           std::to_string(region.fileSize) + " bytes, now " + std::to_string(size) + ")");
}

bool EndedEarly(const FSWFFileRegion& region, std::string* error)
{
    return Fail(error, Quoted(region.path) + " changed size while it was being copied (it ended before " +
                           std::to_string(region.offset + static_cast<uint64_t>(region.size)) + " bytes)");
}

}  // namespace

namespace {

// The region's file, open and found as it was when the region was named:
// its own descriptor when it holds one, else opened by name (and closed with this).
class RegionFile {
public:
    explicit RegionFile(const FSWFFileRegion& region) : region(region) {}
    RegionFile(const RegionFile&) = delete;
    RegionFile& operator=(const RegionFile&) = delete;
    ~RegionFile()
    {
#ifdef _WIN32
        if (owned >= 0) _close(owned);
#else
        if (owned >= 0) close(owned);
#endif
    }

#ifdef _WIN32
    // The file cannot be removed or replaced while it is open here (it is not
    // shared for deletion), so only its kind and size are checked.
    bool Open(std::string* error)
    {
        if (region.file) {
            descriptor = region.file->Descriptor();
        } else {
            owned = _wopen(FWideFromUTF8(region.path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
            if (owned < 0) return CannotRead(region, error);
            descriptor = owned;
        }
        struct _stati64 status {};
        if (_fstati64(descriptor, &status) != 0) return CannotRead(region, error);
        if ((status.st_mode & _S_IFMT) != _S_IFREG)
            return Fail(error, Quoted(region.path) + " is no longer a regular file");
        return CheckSize(region, static_cast<uint64_t>(status.st_size), error);
    }

    int64_t ReadAt(uint8_t* buffer, size_t count, uint64_t position) const
    {
        return FReadFromDescriptorAt(descriptor, buffer, count, position);
    }
#else
    bool Open(std::string* error)
    {
        if (region.file) {
            descriptor = region.file->Descriptor();
        } else {
            owned = open(region.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (owned < 0) return CannotRead(region, error);
            descriptor = owned;
        }
        struct stat status {};
        if (fstat(descriptor, &status) != 0) return CannotRead(region, error);
        // An open file whose name went (removed, or replaced by another file)
        // is no longer the slide the caller meant.
        if (status.st_nlink == 0 && !region.unnamed)
            return Fail(error, Quoted(region.path) + " was removed or replaced since it was checked");
        if (!S_ISREG(status.st_mode)) return Fail(error, Quoted(region.path) + " is no longer a regular file");
        return CheckSize(region, static_cast<uint64_t>(status.st_size), error);
    }

    // Reads up to `count` bytes at `position`; 0 only at the end of the file.
    ssize_t ReadAt(uint8_t* buffer, size_t count, uint64_t position) const
    {
        ssize_t got = 0;
        do {
            got = pread(descriptor, buffer, count, static_cast<off_t>(position));
        } while (got < 0 && errno == EINTR);
        return got;
    }
#endif

    int Descriptor() const { return descriptor; }

private:
    const FSWFFileRegion& region;
    int descriptor = -1;
    int owned = -1;
};

#ifdef __linux__
// The kernel copy is not available for this pair of files: copying through
// a buffer still is.
bool KernelCopyUnavailable(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF;
}

bool CannotCopy(const FSWFFileRegion& region, std::string* error)
{
    return Fail(error, "cannot copy " + Quoted(region.path) + " into the output: " + std::strerror(errno));
}
#endif

}  // namespace

bool FReadFileRegion(const FSWFFileRegion& region, uint8_t* buffer, size_t bufferSize,
                     const std::function<bool(const uint8_t*, size_t)>& put, std::string* error)
{
    RegionFile file(region);
    if (!file.Open(error)) return false;
    uint64_t position = region.offset;
    size_t remaining = static_cast<size_t>(region.size);
    while (remaining > 0) {
        const int64_t count = file.ReadAt(buffer, std::min(bufferSize, remaining), position);
        if (count < 0) return CannotRead(region, error);
        if (count == 0) return EndedEarly(region, error);
        if (!put(buffer, static_cast<size_t>(count))) return false;
        position += static_cast<uint64_t>(count);
        remaining -= static_cast<size_t>(count);
    }
    return true;
}

bool FReadFileRegionInto(const FSWFFileRegion& region, uint8_t* destination, std::string* error)
{
    RegionFile file(region);
    if (!file.Open(error)) return false;
    uint64_t position = region.offset;
    size_t remaining = static_cast<size_t>(region.size);
    while (remaining > 0) {
        const int64_t count = file.ReadAt(destination, remaining, position);
        if (count < 0) return CannotRead(region, error);
        if (count == 0) return EndedEarly(region, error);
        destination += count;
        position += static_cast<uint64_t>(count);
        remaining -= static_cast<size_t>(count);
    }
    return true;
}

bool FCopyFileRegionToDescriptor(const FSWFFileRegion& region, int descriptor, std::string* error)
{
    RegionFile file(region);
    if (!file.Open(error)) return false;
    uint64_t position = region.offset;
    size_t remaining = static_cast<size_t>(region.size);
#ifdef __linux__
    // The kernel copies page cache to page cache: the bytes never pass
    // through our memory. Explicit input offsets leave a shared descriptor's
    // own position alone.
    bool kernelCopy = true;
    while (remaining > 0 && kernelCopy) {
        loff_t from = static_cast<loff_t>(position);
        const ssize_t copied = copy_file_range(file.Descriptor(), &from, descriptor, nullptr, remaining, 0);
        if (copied > 0) {
            position += static_cast<uint64_t>(copied);
            remaining -= static_cast<size_t>(copied);
        } else if (copied == 0) {
            return EndedEarly(region, error);
        } else if (errno != EINTR) {
            if (!KernelCopyUnavailable(errno)) return CannotCopy(region, error);
            kernelCopy = false;
        }
    }
    bool sendFile = true;
    while (remaining > 0 && sendFile) {
        off_t from = static_cast<off_t>(position);
        const ssize_t copied = sendfile(descriptor, file.Descriptor(), &from, remaining);
        if (copied > 0) {
            position += static_cast<uint64_t>(copied);
            remaining -= static_cast<size_t>(copied);
        } else if (copied == 0) {
            return EndedEarly(region, error);
        } else if (errno != EINTR) {
            if (errno != EINVAL && errno != ENOSYS) return CannotCopy(region, error);
            sendFile = false;
        }
    }
#endif
    if (remaining == 0) return true;
    std::vector<uint8_t> buffer(std::min(kCopyBufferSize, remaining));
    while (remaining > 0) {
        const int64_t count = file.ReadAt(buffer.data(), std::min(buffer.size(), remaining), position);
        if (count < 0) return CannotRead(region, error);
        if (count == 0) return EndedEarly(region, error);
        if (!FWriteAllToDescriptor(descriptor, buffer.data(), static_cast<size_t>(count), error)) return false;
        position += static_cast<uint64_t>(count);
        remaining -= static_cast<size_t>(count);
    }
    return true;
}
