#include "driver/core/spillfile.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "base/fassert.h"
#include "base/fatomicfile.h"
#include "driver/core/error.h"

#ifndef _WIN32
#include "base/ftemporarynames.h"

namespace {

// Without an unnamed file: a private one, removed as soon as it is open. The
// signals that remove temporaries are held off between the two steps, so an
// interruption cannot leave it named.
int MakeAndRemove(const std::string& folder)
{
    std::string pattern = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + ".corvanex-spill-XXXXXX";
    const FTemporaryNames::Hold hold;
    const int descriptor = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0) return -1;
    if (unlink(pattern.c_str()) != 0) {
        const int error = errno;
        close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

}  // namespace
#endif

std::string TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    if (folder && *folder) return folder;
    return P_tmpdir;
}

SpillFile::SpillFile(std::string what) : what(std::move(what)), folder(TemporaryFolder())
{
#ifdef _WIN32
    // Regions are read back by their names there, and a spill file has none.
    throw ConverterError("cannot make a temporary file for the " + this->what + ": not yet on Windows", kExitFailure);
#else
    int descriptor = -1;
#ifdef O_TMPFILE
    descriptor = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // Systems and file systems without unnamed files say so in one of these ways.
    if (descriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) descriptor = MakeAndRemove(folder);
#else
    descriptor = MakeAndRemove(folder);
#endif
    if (descriptor < 0) {
        throw ConverterError("cannot make a temporary file for the " + this->what + " in '" + folder +
                                 "' (set TMPDIR to another folder): " + ErrorText(errno),
                             kExitFailure);
    }
    file = std::make_shared<const FSWFOpenFile>(descriptor);
#endif
}

FSWFFileRegion SpillFile::Append(const uint8_t* bytes, size_t size, const std::string& label)
{
    F_ASSERT(size <= kLargestPiece, "size <= kLargestPiece");
    uint64_t at = 0;
    {
        const std::lock_guard lock(mutex);
        at = end;
        end += size;
    }
    std::string error;
    if (!FWriteAllToDescriptorAt(file->Descriptor(), bytes, size, static_cast<int64_t>(at), &error)) {
        throw ConverterError("cannot keep " + label + " in a temporary file in '" + folder +
                                 "' (set TMPDIR to a folder with more room): " + error,
                             kExitFailure);
    }
    return Named(at, size, at + size, label);
}

FSWFFileRegion SpillFile::Region(uint64_t offset, uint64_t size, const std::string& label) const
{
    const uint64_t fileSize = Size();
    F_ASSERT(size <= INT32_MAX && offset + size <= fileSize, "size <= INT32_MAX && offset + size <= fileSize");
    return Named(offset, size, fileSize, label);
}

FSWFFileRegion SpillFile::Named(uint64_t offset, uint64_t size, uint64_t fileSize, const std::string& label) const
{
    FSWFFileRegion region;
    region.path = label;
    region.file = file;
    region.offset = offset;
    region.size = static_cast<int32_t>(size);
    region.fileSize = fileSize;
    region.unnamed = true;
    return region;
}

uint64_t SpillFile::Size() const
{
    const std::lock_guard lock(mutex);
    return end;
}
