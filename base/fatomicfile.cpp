#include "base/fatomicfile.h"

#ifndef _WIN32

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A hidden name beside the target, for the mkstemp pattern or a link to an unnamed file.
std::string HiddenPattern(const std::string& target)
{
    return FolderOf(target) + ".corvanex-XXXXXX";
}

}  // namespace

bool WriteAllToDescriptor(int descriptor, const uint8_t* bytes, size_t count, std::string* error)
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

bool WriteAllToDescriptorAt(int descriptor, const uint8_t* bytes, size_t count, off_t offset, std::string* error)
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

std::string FollowSymbolicLinks(const std::string& path)
{
    std::string current = path;
    // As many links as the system itself follows; a longer chain (or a loop)
    // is left to fail where the file is replaced.
    for (int links = 0; links < 40; ++links) {
        struct stat status {};
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        std::string destination(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = readlink(current.c_str(), destination.data(), destination.size());
        if (length < 0 || static_cast<size_t>(length) >= destination.size()) return current;  // changed meanwhile
        destination.resize(static_cast<size_t>(length));
        current = destination.front() == '/' ? destination : FolderOf(current) + destination;
    }
    return current;
}

FAtomicFile::~FAtomicFile()
{
    Discard();
}

bool FAtomicFile::Open(const std::string& targetPath, std::string* error, Method method)
{
    Discard();
    target = FollowSymbolicLinks(targetPath);
    const std::string folder = FolderOf(target);
#ifdef O_TMPFILE
    // An unnamed file can only be given a name through /proc.
    if (method == Method::Automatic && access("/proc/self/fd", X_OK) == 0) {
        descriptor = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            unnamed = true;
            return true;
        }
        // Systems and file systems without unnamed files say so in one of these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return Fail(error, "cannot create a temporary file beside it", errno);
    }
#else
    (void)method;
#endif
    std::string pattern = HiddenPattern(target);
    descriptor = mkstemp(pattern.data());
    if (descriptor < 0) return Fail(error, "cannot create a temporary file beside it", errno);
    temporary = pattern;
    // mkstemp makes the file private; the target gets the permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(descriptor, 0666 & ~mask) != 0) {
        const int reason = errno;
        Discard();
        return Fail(error, "cannot create a temporary file beside it", reason);
    }
    return true;
}

bool FAtomicFile::Write(const uint8_t* bytes, size_t count, std::string* error)
{
    return WriteAllToDescriptor(descriptor, bytes, count, error);
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
    temporary.clear();
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
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary = name;
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
    temporary.clear();
    unnamed = false;
}

#endif
