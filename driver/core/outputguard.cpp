#include "driver/core/outputguard.h"

#include <atomic>
#include <filesystem>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#include "base/fatomicfile.h"
#include "base/futf8names.h"
#include "driver/core/error.h"

namespace {

std::atomic<const OutputGuard*> gGuard{nullptr};

}  // namespace

std::optional<FileIdentity> IdentityOfOpenFile(int descriptor)
{
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION information{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
#else
    struct stat status {};
    if (fstat(descriptor, &status) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
#endif
}

std::optional<FileIdentity> IdentityOfFile(const std::string& name)
{
#ifdef _WIN32
    // No access asked, every sharing allowed: a file another program holds
    // open is still found; a folder needs the backup flag to be opened at all.
    const HANDLE handle =
        CreateFileW(FWideFromUTF8(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool found = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!found) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
#else
    struct stat status {};
    if (stat(name.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
#endif
}

bool SameFile(const std::string& a, const std::string& b)
{
    const std::optional<FileIdentity> first = IdentityOfFile(a), second = IdentityOfFile(b);
    if (first && second) return *first == *second;
    namespace fs = std::filesystem;
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(FPathFromUTF8(a), error), error) ==
           fs::weakly_canonical(fs::absolute(FPathFromUTF8(b), error), error);
}

OutputGuard::Output OutputGuard::Identify(const std::string& name, const char* what)
{
    return Output{name, what, IdentityOfFile(name)};
}

OutputGuard::OutputGuard(const std::string& movieFile, const std::optional<std::string>& pageFile,
                         const std::optional<std::string>& keptFile)
    : movie(Identify(movieFile, "movie"))
{
    // The writer's own checks, made now and dropped: nothing is left behind.
    for (const std::string* file : {&movieFile, keptFile ? &*keptFile : nullptr}) {
        if (!file) continue;
        FAtomicFile probe;
        if (std::string reason; !probe.Open(*file, &reason))
            throw ConverterError("cannot write '" + *file + "': " + reason, kExitFailure);
        probe.Discard();
    }
    // That the page and the kept PDF are neither the movie nor each other the
    // command line has made sure of (SameFile).
    if (pageFile) page = Identify(*pageFile, "page");
    if (keptFile) kept = Identify(*keptFile, "kept PDF");
    gGuard = this;
}

OutputGuard::~OutputGuard()
{
    gGuard = nullptr;
}

void OutputGuard::CheckInput(const FileIdentity& identity, const std::string& name, const char* what)
{
    const OutputGuard* guard = gGuard;
    if (!guard) return;
    for (const Output* output :
         {&guard->movie, guard->page ? &*guard->page : nullptr, guard->kept ? &*guard->kept : nullptr}) {
        if (output && output->identity == identity) {
            throw ConverterError(std::string("the ") + output->what + " '" + output->name + "' would overwrite the " +
                                     what + " '" + name + "'",
                                 kExitUsage);
        }
    }
}
