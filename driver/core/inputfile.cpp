#include "driver/core/inputfile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/core/outputguard.h"
#include "driver/input/slideinput.h"

namespace {

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

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

}  // namespace

int OpenInputFile(const std::string& name, const char* what, const char* hint, struct stat* statusOut)
{
    DescriptorHolder file(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const auto cannot = [&](const char* verb, const std::string& reason) {
        return ConverterError(std::string("cannot ") + verb + " the " + what + " " + Quoted(name) + ": " + reason,
                              kExitFailure);
    };
    if (file.Get() < 0) throw cannot("open", ErrorText(errno) + hint);
    struct stat status {};
    if (fstat(file.Get(), &status) != 0) throw cannot("read", ErrorText(errno));
    if (!S_ISREG(status.st_mode))
        throw cannot("read", S_ISDIR(status.st_mode) ? "it is a directory" : "it is not a regular file");
    OutputGuard::CheckInput(status, name, what);
    // Reads of a regular file never wait; blocking again keeps the C library's
    // streams plain. Of the flags the file was opened with, only O_NONBLOCK is
    // one F_SETFL changes, so clearing them all clears it alone.
    if (fcntl(file.Get(), F_SETFL, 0) != 0) throw cannot("read", ErrorText(errno));
    if (statusOut) *statusOut = status;
    return file.Release();
}

void CheckInputFile(const std::string& name, const char* what)
{
    close(OpenInputFile(name, what));
}
