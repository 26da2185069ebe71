#pragma once

// Where the converter's own files (the configuration and the button images)
// are looked for.

#include <string>
#include <string_view>

// Everything before the first "corvanex.exe" in the program path (so with its
// trailing separator), or empty when the name does not occur.
std::string ExecutableDirectoryFromProgramPath(std::string_view programPath);

// The directory the converter's own files are looked for in, ending with its
// separator (or empty for the working folder). On Windows the program path's
// rule above, and where it gives no folder (the program started without one,
// or under another name), the folder the executable was loaded from; else
// the running executable's folder.
std::string FindExecutableDirectory(const char* programPath);

// The configuration file beside the executable.
std::string ConfigFileName(const std::string& executableDirectory);
