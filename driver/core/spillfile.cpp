#include "driver/core/spillfile.h"

#include <cerrno>
#include <cstdlib>
#include <random>

#include <fcntl.h>
#include <stdio.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "base/futf8names.h"
#else
#include <unistd.h>
#endif

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

#ifdef _WIN32
namespace {

// A file that the system removes when its last handle closes, however the
// process ends; not shared, so nothing else opens it meanwhile.
int MakeTemporary(const std::string& folder)
{
    std::wstring base = FWideFromUTF8(folder);
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = base + L".corvanex-spill-";
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters / sizeof kLetters[0] - 1)];
        const int descriptor = _wopen(name.c_str(),
                                      _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT | _O_TEMPORARY |
                                          _O_SHORT_LIVED,
                                      _S_IREAD | _S_IWRITE);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

}  // namespace
#endif

std::string TemporaryFolder()
{
#ifdef _WIN32
    if (const wchar_t* folder = _wgetenv(L"TMPDIR"); folder && *folder) return FUTF8FromWide(folder);
    wchar_t folder[MAX_PATH + 2] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 2, folder);
    if (length > 0 && length <= MAX_PATH + 1) return FUTF8FromWide(std::wstring(folder, length));
    return ".";
#else
    const char* folder = std::getenv("TMPDIR");
    if (folder && *folder) return folder;
    return P_tmpdir;
#endif
}

SpillFile::SpillFile(std::string what) : what(std::move(what)), folder(TemporaryFolder())
{
    int descriptor = -1;
#ifdef _WIN32
    descriptor = MakeTemporary(folder);
#elif defined(O_TMPFILE)
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
