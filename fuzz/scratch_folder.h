#pragma once

// A folder of this process's own for one fuzzed input, gone when the input is
// done (libFuzzer may end the process without running exit handlers, so each
// input removes its own).

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

class FuzzFolder {
public:
    explicit FuzzFolder(const std::string& target)
        : path(std::filesystem::temp_directory_path() / ("corvanex-" + target + "-" + std::to_string(getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~FuzzFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    std::filesystem::path operator/(const char* name) const { return path / name; }

private:
    std::filesystem::path path;
};
