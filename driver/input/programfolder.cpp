#include "driver/input/programfolder.h"

#ifndef _WIN32
#include <unistd.h>
#endif

std::string ExecutableDirectoryFromProgramPath(std::string_view programPath)
{
    const size_t found = programPath.find("corvanex.exe");
    return found == std::string_view::npos ? std::string() : std::string(programPath.substr(0, found));
}

std::string FindExecutableDirectory(const char* programPath)
{
#ifdef _WIN32
    return ExecutableDirectoryFromProgramPath(programPath ? programPath : "");
#else
    // The directory of the running executable, wherever it was started from.
    std::string path;
    char link[4096];
    const ssize_t length = readlink("/proc/self/exe", link, sizeof link - 1);
    if (length > 0) {
        path.assign(link, static_cast<size_t>(length));
    } else if (programPath) {
        path = programPath;
    }
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
#endif
}

std::string ConfigFileName(const std::string& executableDirectory)
{
#ifdef _WIN32
    return executableDirectory + "\\config.txt";
#else
    return executableDirectory + "config.txt";
#endif
}
