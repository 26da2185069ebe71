#include "driver/input/programfolder.h"

#ifdef _WIN32
#include <windows.h>

#include "base/futf8names.h"
#else
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
    // The first design's rule, and where it finds no folder (started as
    // "corvanex.exe" from the PATH, as "corvanex", or renamed), the folder
    // the system loaded the program from.
    std::string directory = ExecutableDirectoryFromProgramPath(programPath ? programPath : "");
    if (!directory.empty()) return directory;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut short: a longer path
    }
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::string() : FUTF8FromWide(path.substr(0, separator + 1));
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
