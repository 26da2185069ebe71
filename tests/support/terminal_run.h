#pragma once

// Runs the converter with standard error on a terminal, for what it shows
// only there (progress lines).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace swftest {

// Runs the converter in `folder` with standard error on a terminal (a pseudo
// terminal in raw mode, so that it passes bytes as written) and standard
// output to a file.
inline RunResult RunWithTerminal(const Scratch& folder, const std::vector<std::string>& arguments)
{
    RunResult result;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo terminal";
        return result;
    }
    const std::string terminal = ptsname(master);
    const std::string out = (folder / ".out").string();
    const pid_t child = fork();
    if (child == 0) {
        const int slave = open(terminal.c_str(), O_RDWR);
        termios mode{};
        tcgetattr(slave, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave, TCSANOW, &mode);
        const int output = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (slave < 0 || output < 0 || chdir(folder.Path().c_str()) != 0) _exit(127);
        dup2(slave, STDERR_FILENO);
        dup2(output, STDOUT_FILENO);
        close(master);
        std::vector<char*> argv{const_cast<char*>(CORVANEX_BINARY)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(CORVANEX_BINARY, argv.data());
        _exit(127);
    }
    // Read until the terminal's last holder (the child) has gone.
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) {
            result.err.append(buffer, static_cast<size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = swftest::Slurp(out);
    return result;
}

}  // namespace swftest
