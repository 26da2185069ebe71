#pragma once

#include <stdexcept>
#include <string>

// A problem with the converter's input or output, reported to the user with
// the exit status it deserves. Never a library assertion: everything that comes
// from a file or an argument is checked here first.
class ConverterError : public std::runtime_error {
public:
    ConverterError(const std::string& message, int exitStatus)
        : std::runtime_error(message), exitStatus(exitStatus) {}
    int ExitStatus() const { return exitStatus; }

private:
    int exitStatus;
};

constexpr int kExitFailure = 1;  // an input or output file failed
constexpr int kExitUsage = 2;    // the command line is wrong

// A file's name as messages give it: 'talk.pdf'.
std::string Quoted(const std::string& name);

// The system's text for an errno value. Unlike strerror, safe on any thread:
// slides are read on worker threads too.
std::string ErrorText(int error);
