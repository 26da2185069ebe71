#pragma once

// Runs the converter as a process in a scratch folder of its own and collects
// what it printed and its exit status.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace swftest {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream input(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream output(path, std::ios::binary);
    output << bytes;
}

// A JPEG as far as the converter checks: the start-of-image marker, some bytes, the end marker.
inline std::string TinyJPEG(char fill = 'x', size_t size = 16)
{
    std::string bytes = "\xFF\xD8";
    bytes += std::string(size, fill);
    return bytes + "\xFF\xD9";
}

class Scratch {
public:
    explicit Scratch(const std::string& name)
        : root(std::filesystem::path(::testing::TempDir()) / ("corvanex-" + name + "-" + std::to_string(getpid())))
    {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~Scratch() { std::filesystem::remove_all(root); }

    std::filesystem::path operator/(const std::string& name) const { return root / name; }
    const std::filesystem::path& Path() const { return root; }

    void Write(const std::string& name, const std::string& bytes) const { WriteBytes(root / name, bytes); }

    // A deck `prefix`1.jpg ... with a stop file, configuration and button images.
    void MakeDeck(const std::string& prefix, int slides, const std::string& stops = "0\n",
                  const std::string& config = "640\n480\n") const
    {
        for (int n = 1; n <= slides; ++n) Write(prefix + std::to_string(n) + ".jpg", TinyJPEG(static_cast<char>('a' + n % 26)));
        Write(prefix + ".stp", stops);
        Write("config.txt", config);
        Write("forward.jpg", TinyJPEG('f'));
        Write("backward.jpg", TinyJPEG('b'));
    }

    // Runs the converter in this folder, with the deck's own configuration and buttons.
    RunResult Convert(const std::vector<std::string>& arguments, bool ownFiles = true) const
    {
        std::vector<std::string> all;
        if (ownFiles) all = {"--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return Run(CORVANEX_BINARY, all);
    }

    RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& prefix = "") const
    {
        std::string command = "cd " + ShellQuoted(root.string()) + " && " + prefix + ShellQuoted(program);
        for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
        command += " >" + ShellQuoted((root / ".out").string()) + " 2>" + ShellQuoted((root / ".err").string());
        RunResult result;
        const int raw = std::system(command.c_str());
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = Slurp(root / ".out");
        result.err = Slurp(root / ".err");
        return result;
    }

private:
    std::filesystem::path root;
};

}  // namespace swftest
