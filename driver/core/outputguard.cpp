#include "driver/core/outputguard.h"

#include <atomic>
#include <filesystem>

#include <sys/stat.h>

#include "base/fatomicfile.h"
#include "driver/core/error.h"

namespace {

std::atomic<const OutputGuard*> gGuard{nullptr};

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
#ifndef _WIN32
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
    // (Windows: stat gives every file the inode 0, so only the names are compared.)
    namespace fs = std::filesystem;
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(a, error), error) == fs::weakly_canonical(fs::absolute(b, error), error);
}

OutputGuard::Output OutputGuard::Identify(const std::string& name, const char* what)
{
    Output output{name, what};
#ifndef _WIN32
    struct stat status {};
    if (stat(name.c_str(), &status) == 0) {
        output.exists = true;
        output.device = status.st_dev;
        output.inode = status.st_ino;
    }
#endif
    // (Windows: stat gives no file identity, every inode is 0; not yet guarded there.)
    return output;
}

OutputGuard::OutputGuard(const std::string& movieFile, const std::optional<std::string>& pageFile)
    : movie(Identify(movieFile, "movie"))
{
    // The writer's own checks, made now and dropped: nothing is left behind.
    FAtomicFile probe;
    if (std::string reason; !probe.Open(movieFile, &reason))
        throw ConverterError("cannot write '" + movieFile + "': " + reason, kExitFailure);
    probe.Discard();
    // That the page is not the movie the command line has made sure of (SameFile).
    if (pageFile) page = Identify(*pageFile, "page");
    gGuard = this;
}

OutputGuard::~OutputGuard()
{
    gGuard = nullptr;
}

void OutputGuard::CheckInput(const struct stat& status, const std::string& name, const char* what)
{
    const OutputGuard* guard = gGuard;
    if (!guard) return;
    for (const Output* output : {&guard->movie, guard->page ? &*guard->page : nullptr}) {
        if (output && output->exists && output->device == status.st_dev && output->inode == status.st_ino) {
            throw ConverterError(std::string("the ") + output->what + " '" + output->name + "' would overwrite the " +
                                     what + " '" + name + "'",
                                 kExitUsage);
        }
    }
}
