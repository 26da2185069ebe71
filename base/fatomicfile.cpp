#include "base/fatomicfile.h"

#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ftemporarynames.h"

namespace {

bool Fail(std::string* error, const char* what, int reason)
{
    if (error) *error = std::string(what) + ": " + std::strerror(reason);
    return false;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A hidden name beside the target that says whose it is, for the mkstemp
// pattern or a link to an unnamed file: ".out.swf.corvanex-XXXXXX", the
// target's name shortened to keep within a file name's 255 bytes.
std::string HiddenPattern(const std::string& target)
{
    static constexpr const char kTail[] = ".corvanex-XXXXXX";
    constexpr size_t kLongestName = 255;
    const size_t slash = target.find_last_of('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    name.resize(std::min(name.size(), kLongestName - 1 - (sizeof kTail - 1)));
    return FolderOf(target) + "." + name + kTail;
}

// The system's rule for links in shared folders (fs.protected_symlinks): in a
// world-writable sticky folder only a link of this user or of the folder's
// owner is followed. Kept whatever the setting, so that a link planted in
// /tmp never leads the writer to another's file.
bool MayFollow(const std::string& link, const struct stat& linkStatus)
{
    if (linkStatus.st_uid == geteuid()) return true;
    const std::string folder = FolderOf(link);
    struct stat folderStatus {};
    if (stat(folder.empty() ? "." : folder.c_str(), &folderStatus) != 0) return false;
    constexpr mode_t kShared = S_ISVTX | S_IWOTH;
    return (folderStatus.st_mode & kShared) != kShared || folderStatus.st_uid == linkStatus.st_uid;
}

// File systems that cannot set permissions or owners (FAT through FUSE) say so in one of these ways.
bool NotSupported(int reason)
{
    return reason == ENOSYS || reason == EPERM || reason == EOPNOTSUPP || reason == ENOTSUP;
}

}  // namespace

FAtomicFile::SystemCalls& FAtomicFile::Calls()
{
    static SystemCalls calls{::fchmod, ::fchown};
    return calls;
}

bool FWriteAllToDescriptor(int descriptor, const uint8_t* bytes, size_t count, std::string* error)
{
    while (count > 0) {
        const ssize_t written = write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Fail(error, "write failed", written < 0 ? errno : EIO);
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool FWriteAllToDescriptorAt(int descriptor, const uint8_t* bytes, size_t count, off_t offset, std::string* error)
{
    while (count > 0) {
        const ssize_t written = pwrite(descriptor, bytes, count, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Fail(error, "write failed", written < 0 ? errno : EIO);
        bytes += written;
        offset += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool FFollowSymbolicLinks(const std::string& path, std::string* followed, std::string* error)
{
    std::string current = path;
    // As many links as the system itself follows; a longer chain (or a loop)
    // is left to fail where the file is replaced.
    for (int links = 0; links < 40; ++links) {
        struct stat status {};
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        if (!MayFollow(current, status)) {
            if (error) {
                *error = "will not follow the symbolic link '" + current +
                         "': it is in a world-writable sticky folder and belongs to another user";
            }
            return false;
        }
        std::string destination(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = readlink(current.c_str(), destination.data(), destination.size());
        if (length < 0 || static_cast<size_t>(length) >= destination.size()) break;  // changed meanwhile
        destination.resize(static_cast<size_t>(length));
        current = destination.front() == '/' ? destination : FolderOf(current) + destination;
    }
    *followed = current;
    return true;
}

FAtomicFile::~FAtomicFile()
{
    Discard();
}

bool FAtomicFile::Open(const std::string& targetPath, std::string* error, Method method)
{
    Discard();
    if (!FFollowSymbolicLinks(targetPath, &target, error)) return false;
    // Found now rather than when the file is put in place, after all the writing.
    if (struct stat status {}; stat(target.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return Fail(error, "cannot replace the file", EISDIR);
    const std::string folder = FolderOf(target);
#ifdef O_TMPFILE
    // An unnamed file can only be given a name through /proc.
    if (method == Method::Automatic && access("/proc/self/fd", X_OK) == 0) {
        descriptor = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            unnamed = true;
            if (TakeOverPermissions(error)) return true;
            Discard();
            return false;
        }
        // Systems and file systems without unnamed files say so in one of these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return Fail(error, "cannot create a temporary file beside it", errno);
    }
#else
    (void)method;
#endif
    std::string pattern = HiddenPattern(target);
    {
        // Made and remembered in one step, so that an interruption removes it.
        const FTemporaryNames::Hold hold;
        descriptor = mkostemp(pattern.data(), O_CLOEXEC);
        if (descriptor < 0) return Fail(error, "cannot create a temporary file beside it", errno);
        SetTemporary(pattern);
    }
    if (TakeOverPermissions(error)) return true;
    Discard();
    return false;
}

bool FAtomicFile::TakeOverPermissions(std::string* error)
{
    mode_t mode = 0;
    struct stat old {};
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // The file replaced keeps its owner where this user may give it
        // (root may; others may keep the group), and its permissions.
        struct stat own {};
        if (fstat(descriptor, &own) == 0 && (own.st_uid != old.st_uid || own.st_gid != old.st_gid)) {
            if (Calls().changeOwner(descriptor, old.st_uid, old.st_gid) != 0 && own.st_gid != old.st_gid)
                (void)Calls().changeOwner(descriptor, static_cast<uid_t>(-1), old.st_gid);
        }
        mode = old.st_mode & 0777;
    } else if (!temporary.empty()) {
        // mkstemp makes the file private; a new target gets the permissions of a new file.
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    } else {
        return true;  // an unnamed file was made with those already
    }
    if (Calls().changeMode(descriptor, mode) != 0 && !NotSupported(errno))
        return Fail(error, "cannot create a temporary file beside it", errno);
    return true;
}

void FAtomicFile::SetTemporary(const std::string& name)
{
    temporary = name;
    temporarySlot = FTemporaryNames::Remember(name.c_str());
}

void FAtomicFile::ClearTemporary()
{
    FTemporaryNames::Forget(temporarySlot);
    temporarySlot = -1;
    temporary.clear();
}

bool FAtomicFile::Write(const uint8_t* bytes, size_t count, std::string* error)
{
    return FWriteAllToDescriptor(descriptor, bytes, count, error);
}

bool FAtomicFile::Commit(std::string* error)
{
    // The data reaches the disk before the name does, so that after a crash
    // the target holds the old file or the whole new one. (Files that cannot
    // be synchronised, such as some special ones, say EINVAL and are taken as they are.)
    if (fsync(descriptor) != 0 && errno != EINVAL && errno != EROFS) {
        const int reason = errno;
        Discard();
        return Fail(error, "write failed", reason);
    }
    const bool wasUnnamed = unnamed;
    if (unnamed && !LinkUnnamed(error)) {
        Discard();
        return false;
    }
    if (close(descriptor) != 0) {
        const int reason = errno;
        descriptor = -1;
        // A file just linked under the target's name was not there before.
        if (wasUnnamed && temporary.empty()) unlink(target.c_str());
        Discard();
        return Fail(error, "write failed", reason);
    }
    descriptor = -1;
    if (!temporary.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = errno;
        Discard();
        return Fail(error, "cannot replace the file", reason);
    }
    ClearTemporary();
    unnamed = false;
    return true;
}

bool FAtomicFile::LinkUnnamed(std::string* error)
{
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
    // Straight under the target's name when nothing is there yet.
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        unnamed = false;
        return true;
    }
    if (errno != EEXIST) return Fail(error, "cannot replace the file", errno);
    // Else under a hidden name, renamed over the target by Commit: a rename
    // replaces in one step, a link never does.
    std::random_device random;
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = HiddenPattern(target);
        for (size_t at = name.size() - 6; at < name.size(); ++at) name[at] = kLetters[random() % (sizeof kLetters - 1)];
        const FTemporaryNames::Hold hold;
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            SetTemporary(name);
            unnamed = false;
            return true;
        }
        if (errno != EEXIST) return Fail(error, "cannot replace the file", errno);
    }
    return Fail(error, "cannot replace the file", EEXIST);
}

void FAtomicFile::Discard()
{
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
    if (!temporary.empty()) std::remove(temporary.c_str());
    ClearTemporary();
    unnamed = false;
}

#else  // _WIN32

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "base/ftemporarynames.h"
#include "base/futf8names.h"

namespace {

bool Fail(std::string* error, const char* what, const std::string& reason)
{
    if (error) *error = std::string(what) + ": " + reason;
    return false;
}

// Both separators end a folder on Windows.
size_t NameStart(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"/\\");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

// The errno of the commonest system errors, so that their reasons read as
// they do elsewhere ("No such file or directory"); 0 for the others.
int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    default: return 0;
    }
}

std::string ReasonOf(DWORD code)
{
    const int known = ErrnoOf(code);
    return known != 0 ? std::strerror(known) : FSystemMessage(code);
}

OVERLAPPED At(uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

bool FWriteAllToDescriptor(int descriptor, const uint8_t* bytes, size_t count, std::string* error)
{
    while (count > 0) {
        // _write takes an unsigned int count.
        const unsigned int piece = static_cast<unsigned int>(std::min<size_t>(count, 1u << 30));
        const int written = _write(descriptor, bytes, piece);
        if (written <= 0) return Fail(error, "write failed", std::strerror(written < 0 ? errno : EIO));
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool FWriteAllToDescriptorAt(int descriptor, const uint8_t* bytes, size_t count, int64_t offset, std::string* error)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) return Fail(error, "write failed", std::strerror(EBADF));
    auto position = static_cast<uint64_t>(offset);
    while (count > 0) {
        // A synchronous handle takes the offset of an OVERLAPPED and writes there, one call at a time.
        OVERLAPPED at = At(position);
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
        if (!WriteFile(handle, bytes, piece, &written, &at) || written == 0)
            return Fail(error, "write failed", ReasonOf(GetLastError()));
        bytes += written;
        position += written;
        count -= written;
    }
    return true;
}

int64_t FReadFromDescriptorAt(int descriptor, uint8_t* bytes, size_t count, uint64_t offset)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(handle, bytes, static_cast<DWORD>(std::min<size_t>(count, 1u << 30)), &got, &at)) {
        const DWORD reason = GetLastError();
        if (reason == ERROR_HANDLE_EOF) return 0;
        errno = ErrnoOf(reason) != 0 ? ErrnoOf(reason) : EIO;
        return -1;
    }
    return got;
}

FAtomicFile::~FAtomicFile()
{
    Discard();
}

bool FAtomicFile::Open(const std::string& path, std::string* error, Method)
{
    Discard();
    const std::wstring wide = FWideFromUTF8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(error, "cannot replace the file", "it is a directory");
    static constexpr const wchar_t kTail[] = L".corvanex-";
    static constexpr const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    DWORD reason = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && reason == ERROR_FILE_EXISTS; ++attempt) {
        std::wstring name = wide.substr(0, NameStart(wide)) + L"." + wide.substr(NameStart(wide)) + kTail;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters / sizeof kLetters[0] - 1)];
        // Made and remembered in one step, so that Ctrl+C removes it; shared
        // for deletion, so that it can be removed while it is open.
        const FTemporaryNames::Hold hold;
        const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            reason = GetLastError();
            continue;
        }
        descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (descriptor < 0) {
            CloseHandle(handle);
            DeleteFileW(name.c_str());
            return Fail(error, "cannot create a temporary file beside it", std::strerror(errno));
        }
        target = wide;
        temporary = name;
        temporarySlot = FTemporaryNames::Remember(FUTF8FromWide(name).c_str());
        return true;
    }
    return Fail(error, "cannot create a temporary file beside it", ReasonOf(reason));
}

bool FAtomicFile::Write(const uint8_t* bytes, size_t count, std::string* error)
{
    return FWriteAllToDescriptor(descriptor, bytes, count, error);
}

bool FAtomicFile::Commit(std::string* error)
{
    if (_commit(descriptor) != 0) {
        const int reason = errno;
        Discard();
        return Fail(error, "write failed", std::strerror(reason));
    }
    if (_close(descriptor) != 0) {
        const int reason = errno;
        descriptor = -1;
        Discard();
        return Fail(error, "write failed", std::strerror(reason));
    }
    descriptor = -1;
    // The move keeps the temporary's attributes: the movie is not to stay hidden.
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD reason = GetLastError();
        Discard();
        return Fail(error, "cannot replace the file", ReasonOf(reason));
    }
    ClearTemporary();
    return true;
}

void FAtomicFile::ClearTemporary()
{
    FTemporaryNames::Forget(temporarySlot);
    temporarySlot = -1;
    temporary.clear();
}

void FAtomicFile::Discard()
{
    if (descriptor >= 0) _close(descriptor);
    descriptor = -1;
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
    ClearTemporary();
}

#endif
