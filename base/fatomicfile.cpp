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
#include <sys/stat.h>
#include <windows.h>

namespace {

bool Fail(std::string* error, const char* what, const std::string& reason)
{
    if (error) *error = std::string(what) + ": " + reason;
    return false;
}

std::string SystemMessage(DWORD code)
{
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

// Both separators end a folder on Windows.
size_t NameStart(const std::string& path)
{
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
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
    const int64_t position = _telli64(descriptor);
    if (position < 0 || _lseeki64(descriptor, offset, SEEK_SET) < 0)
        return Fail(error, "write failed", std::strerror(errno));
    const bool written = FWriteAllToDescriptor(descriptor, bytes, count, error);
    if (_lseeki64(descriptor, position, SEEK_SET) < 0 && written)
        return Fail(error, "write failed", std::strerror(errno));
    return written;
}

FAtomicFile::~FAtomicFile()
{
    Discard();
}

bool FAtomicFile::Open(const std::string& path, std::string* error, Method)
{
    Discard();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(error, "cannot write it", "it is a directory");
    static constexpr const char kTail[] = ".corvanex-";
    static constexpr const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path.substr(0, NameStart(path)) + "." + path.substr(NameStart(path)) + kTail;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        descriptor = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN);
            target = path;
            temporary = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    return Fail(error, "cannot create a temporary file beside it", std::strerror(errno));
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
    SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD reason = GetLastError();
        Discard();
        return Fail(error, "cannot replace the file", SystemMessage(reason));
    }
    temporary.clear();
    return true;
}

void FAtomicFile::Discard()
{
    if (descriptor >= 0) _close(descriptor);
    descriptor = -1;
    if (!temporary.empty()) _unlink(temporary.c_str());
    temporary.clear();
}

#endif
