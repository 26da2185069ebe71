#pragma once

// Another program run to its end, or to a time limit, in a process group of
// its own: when the limit passes, or the run is interrupted, the whole group
// is killed, so no helper it started stays behind. Linux only, as the PDF
// form that uses it.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>

// The signals that end a run (SIGINT, SIGTERM, SIGHUP, those not ignored),
// and SIGCHLD, held off for its span: a run's temporary files are made and
// removed while none of them can strike in between, and a child's end is
// never missed. Signals that came meanwhile strike when it ends.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

    const sigset_t& Held() const { return held; }
    // The mask from before the hold, which a child starts with.
    const sigset_t& Before() const { return before; }

private:
    sigset_t held;
    sigset_t before;
};

struct ChildOutcome {
    enum class End { kExited, kSignalled, kTimedOut };
    End end = End::kExited;
    int status = 0;  // the exit status, or the signal
    // What it wrote on standard output and error, together; at most
    // kKeptOutput bytes, its last ones.
    std::string output;
};

constexpr size_t kKeptOutput = 16384;

struct ChildProgram {
    std::string program;  // a path: the caller finds it on PATH
    std::vector<std::string> arguments;  // after the program's name
    std::vector<std::string> environment;  // the whole environment, NAME=value
    std::string folder;  // its working folder
    std::chrono::milliseconds timeLimit{0};
    // Called when a signal interrupts the wait, after the group is killed and
    // reaped: the caller's temporaries go before the signal takes its course.
    std::function<void()> onInterrupt;
};

// Runs the program with standard input from /dev/null, within `hold` (which
// the caller made before anything the run must clean up). Throws
// ConverterError (status 1) when it cannot be started; `what` names it in
// the message ("LibreOffice").
ChildOutcome RunChildProgram(const ChildProgram& child, const SignalHold& hold, const std::string& what);

// The program's absolute path: of `name` itself when it has a slash, else of
// the first executable file of that name in the folders of `path` (as PATH
// holds them); empty when there is none.
std::string FindProgram(const std::string& name, const std::string& path);
