#include "driver/output/playercopy.h"

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "base/futf8names.h"
#include "driver/core/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ftemporarynames.h"
#endif

namespace {

namespace fs = std::filesystem;

#ifndef CORVANEX_PLAYER_FROM_PROGRAM
#define CORVANEX_PLAYER_FROM_PROGRAM "../../share/corvanex/ruffle"
#endif

bool HoldsPlayer(const fs::path& folder)
{
    std::error_code error;
    return fs::is_regular_file(folder / "ruffle.js", error);
}

#ifndef _WIN32
std::error_code LastError()
{
    return {errno, std::generic_category()};
}

// Whether the user asked the run to end while FTemporaryNames::Hold holds
// the signals back: the copy then stops, and what it made goes first. A
// signal the process ignores (SIGHUP under nohup) is held pending all the
// same, and asks nothing.
bool EndAsked()
{
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (sigismember(&pending, signal) == 1 && sigaction(signal, nullptr, &action) == 0 &&
            action.sa_handler != SIG_IGN)
            return true;
    }
    return false;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

std::error_code CopyFile(const fs::path& from, const fs::path& to)
{
    const FileDescriptor in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return LastError();
    // 0666 less the umask, as any file the user makes.
    const FileDescriptor out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.Get() < 0) return LastError();
    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        if (EndAsked()) return std::make_error_code(std::errc::interrupted);
        const ssize_t got = read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return LastError();
        if (got == 0) break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t wrote = write(out.Get(), buffer.data() + put, static_cast<size_t>(got - put));
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote < 0) return LastError();
            put += wrote;
        }
    }
    return {};
}

// The player's tree copied to `to`, made here, file by file; its folders are
// 0777 less the umask. Only folders and regular files are copied (links are
// followed); anything else fails the copy.
std::error_code CopyTree(const fs::path& from, const fs::path& to)
{
    if (mkdir(to.c_str(), 0777) != 0) return LastError();
    std::error_code error;
    for (fs::recursive_directory_iterator entry(from, error), end; !error && entry != end; entry.increment(error)) {
        if (EndAsked()) return std::make_error_code(std::errc::interrupted);
        const fs::path made = to / entry->path().lexically_relative(from);
        const fs::file_status status = entry->status(error);
        if (error) return error;
        if (fs::is_directory(status)) {
            if (mkdir(made.c_str(), 0777) != 0) return LastError();
        } else if (!fs::is_regular_file(status)) {
            return std::make_error_code(std::errc::not_supported);
        } else if (const std::error_code failed = CopyFile(entry->path(), made)) {
            return failed;
        }
    }
    return error;  // the folder's own listing failed
}

// Renames `from` to `to` unless something of that name is there: a plain
// rename would replace an empty folder another process has just made.
std::error_code MoveWithoutReplacing(const fs::path& from, const fs::path& to)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    // File systems without the flag (some network ones) say so; the check
    // below then narrows the window to the rename itself.
    if (errno != EINVAL && errno != ENOSYS) return LastError();
#endif
    std::error_code error;
    if (fs::symlink_status(to, error).type() != fs::file_type::not_found)
        return std::make_error_code(std::errc::file_exists);
    if (rename(from.c_str(), to.c_str()) != 0) return LastError();
    return {};
}

// The note a copy writes first in its temporary folder: the process and the
// machine that made it.
constexpr const char* kCopyNote = ".corvanex-copy";

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// Whether `folder` is the temporary folder of a copy that ended without
// removing it (killed outright, a crash, a power cut): named as mkdtemp
// names it, a folder of this user's alone (no link), with the note of a
// process of this machine that is gone, or made a day ago elsewhere. Nothing
// else is certainly a copy's, and left alone.
bool IsStaleCopy(const fs::path& folder)
{
    const std::string name = folder.filename().string();
    if (name.size() != std::string(".ruffle-XXXXXX").size() || name.rfind(".ruffle-", 0) != 0) return false;
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & 07777) != 0700)
        return false;
    std::ifstream note(folder / kCopyNote);
    long process = 0;
    std::string host;
    if (!(note >> process >> host) || process <= 0) return false;
    if (host == HostName()) return kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
    constexpr time_t kDay = 24 * 60 * 60;
    return std::time(nullptr) - status.st_mtime > kDay;
}

void ClearStaleCopies(const fs::path& pageFolder)
{
    std::error_code error;
    std::vector<fs::path> stale;
    for (fs::directory_iterator entry(pageFolder.empty() ? "." : pageFolder, error), end; !error && entry != end;
         entry.increment(error))
        if (IsStaleCopy(entry->path())) stale.push_back(entry->path());
    for (const fs::path& folder : stale) fs::remove_all(folder, error);
}
#endif

}  // namespace

std::string FindInstalledPlayer(const std::string& programDirectory)
{
    if (programDirectory.empty()) return {};
    const fs::path program = FPathFromUTF8(programDirectory);
    for (const fs::path& folder : {program / "ruffle", program / CORVANEX_PLAYER_FROM_PROGRAM}) {
        if (HoldsPlayer(folder)) return FUTF8FromPath(folder.lexically_normal());
    }
    return {};
}

std::string PutPlayerBesidePage(const std::string& pageFile, const std::string& player,
                                const std::function<void()>& beforeMove)
{
    const fs::path pageFolder = FPathFromUTF8(pageFile).parent_path();
    const fs::path target = pageFolder / "ruffle";
#ifndef _WIN32
    ClearStaleCopies(pageFolder);
#endif
    std::error_code error;
    // Anything of that name, even a dangling link, is the user's.
    if (fs::symlink_status(target, error).type() != fs::file_type::not_found) return {};
    if (player.empty()) {
        return "no Ruffle web player to put beside the page " + Quoted(pageFile) + ": the page loads it from " +
               Quoted(FUTF8FromPath(target) + "/") + " (\"The web player\" in docs/guide.md says where to get it)";
    }

    const auto failure = [&](const std::string& reason) {
        return "cannot copy the Ruffle web player " + Quoted(player) + " to " + Quoted(FUTF8FromPath(target)) + ": " +
               reason;
    };
#ifdef _WIN32
    // The copy is made under its final name in a folder of its own, then
    // moved: the C++ library's copy into a folder that exists fails here, and
    // a move of a folder never replaces what is there.
    std::random_device seed;
    std::minstd_rand random(seed());
    fs::path staging;
    for (int attempt = 0; attempt < 100 && staging.empty(); ++attempt) {
        std::wstring name = L".ruffle-";
        for (int i = 0; i < 6; ++i) name += L"abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        if (fs::create_directory(pageFolder / name, error)) staging = pageFolder / name;
        if (error) return failure(error.message());
    }
    if (staging.empty()) return failure(std::make_error_code(std::errc::file_exists).message());
    const fs::path copy = staging / "ruffle";
    fs::copy(FPathFromUTF8(player), copy, fs::copy_options::recursive, error);
    if (!error && beforeMove) beforeMove();
    if (!error && !MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD reason = GetLastError();
        error = reason == ERROR_ALREADY_EXISTS || reason == ERROR_FILE_EXISTS
                    ? std::make_error_code(std::errc::file_exists)
                    : std::error_code(static_cast<int>(reason), std::system_category());
    }
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    if (error) return failure(error.message());
    return {};
#else
    // An interrupt or termination during the copy is held until the copy is
    // in place or gone: the copy stops at once when one comes (EndAsked), and
    // the signal's own action ends the run when the hold ends. (The run has
    // no other thread by now that could take the signal instead.)
    const FTemporaryNames::Hold hold;
    std::string pattern = (pageFolder / ".ruffle-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return failure(std::generic_category().message(errno));
    // The copy is made inside a folder of the owner's alone, under its final
    // name, so that its own folder takes the umask as any folder the user makes.
    const fs::path staging(name.data());
    const fs::path copy = staging / "ruffle";
    std::ofstream(staging / kCopyNote) << getpid() << ' ' << HostName() << '\n';
    error = CopyTree(player, copy);
    if (!error && beforeMove) beforeMove();
    if (!error && EndAsked()) error = std::make_error_code(std::errc::interrupted);
    if (!error) error = MoveWithoutReplacing(copy, target);
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    if (error) return failure(error.message());
    return {};
#endif
}
