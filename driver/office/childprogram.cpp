#include "driver/office/childprogram.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/core/error.h"

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Closes the descriptor it holds when it goes.
class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor(descriptor) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return descriptor; }
    void Close()
    {
        if (descriptor >= 0) close(descriptor);
        descriptor = -1;
    }

private:
    int descriptor;
};

// The spawn's settings, released however the spawn ends.
struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSettings()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

std::vector<char*> Pointers(const std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (const std::string& word : words) pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Keeps the last kKeptOutput bytes, trimming only now and then.
void Keep(std::string& output, const char* bytes, size_t count)
{
    output.append(bytes, count);
    if (output.size() > 2 * kKeptOutput) output.erase(0, output.size() - kKeptOutput);
}

// The group killed while its leader is not yet reaped, so that its number
// cannot have passed to another process meanwhile; then the leader reaped.
int KillAndReap(pid_t child)
{
    kill(-child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// What is left until `deadline`, for poll: at most a second, so that the
// deadline is looked at again.
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1000));
}

}  // namespace

SignalHold::SignalHold()
{
    sigemptyset(&held);
    for (const int signal : kEndingSignals) {
        // One the process ignores (SIGHUP under nohup) stays ignored: held,
        // it would be queued, and then taken for an interruption.
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
        sigaddset(&held, signal);
    }
    sigaddset(&held, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &held, &before);
}

SignalHold::~SignalHold()
{
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

ChildOutcome RunChildProgram(const ChildProgram& child, const SignalHold& hold, const std::string& what)
{
    const auto cannot = [&](int error) {
        return ConverterError("cannot run " + what + " ('" + child.program + "'): " + ErrorText(error), kExitFailure);
    };
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) throw cannot(errno);
    Descriptor reading(ends[0]), writing(ends[1]);
    Descriptor signals(signalfd(-1, &hold.Held(), SFD_CLOEXEC | SFD_NONBLOCK));
    if (signals.Get() < 0) throw cannot(errno);

    SpawnSettings settings;
    posix_spawn_file_actions_addopen(&settings.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&settings.actions, writing.Get(), 1);
    posix_spawn_file_actions_adddup2(&settings.actions, writing.Get(), 2);
    posix_spawn_file_actions_addchdir_np(&settings.actions, child.folder.c_str());
    // A group of its own, which a terminal's Ctrl+C does not reach: the
    // converter ends it, and everything it started, itself.
    posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&settings.attributes, 0);
    posix_spawnattr_setsigmask(&settings.attributes, &hold.Before());

    std::vector<std::string> argv{child.program};
    argv.insert(argv.end(), child.arguments.begin(), child.arguments.end());
    std::vector<char*> arguments = Pointers(argv), environment = Pointers(child.environment);
    pid_t pid = -1;
    if (const int error = posix_spawn(&pid, child.program.c_str(), &settings.actions, &settings.attributes,
                                      arguments.data(), environment.data());
        error != 0)
        throw cannot(error);
    writing.Close();

    ChildOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + child.timeLimit;
    bool exited = false;
    while (!exited) {
        const int left = MillisecondsUntil(deadline);
        if (left <= 0) {
            KillAndReap(pid);
            outcome.end = ChildOutcome::End::kTimedOut;
            return outcome;
        }
        pollfd watched[2] = {{signals.Get(), POLLIN, 0}, {reading.Get(), POLLIN, 0}};
        const int ready = poll(watched, reading.Get() >= 0 ? 2 : 1, left);
        if (ready < 0 && errno != EINTR) {
            const int error = errno;
            KillAndReap(pid);
            throw cannot(error);
        }
        if (reading.Get() >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char bytes[4096];
            const ssize_t count = read(reading.Get(), bytes, sizeof bytes);
            if (count > 0) Keep(outcome.output, bytes, static_cast<size_t>(count));
            if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) reading.Close();
        }
        if (!(watched[0].revents & POLLIN)) continue;
        signalfd_siginfo caught{};
        while (read(signals.Get(), &caught, sizeof caught) == static_cast<ssize_t>(sizeof caught)) {
            const int signal = static_cast<int>(caught.ssi_signo);
            if (signal != SIGCHLD) {
                KillAndReap(pid);
                reading.Close();
                signals.Close();
                if (child.onInterrupt) child.onInterrupt();
                // The signal takes its course: the handler the process had, or
                // its default action, ends the run.
                pthread_sigmask(SIG_SETMASK, &hold.Before(), nullptr);
                raise(signal);
                throw ConverterError(what + " was interrupted by signal " + std::to_string(signal), kExitFailure);
            }
            siginfo_t state{};
            if (waitid(P_PID, static_cast<id_t>(pid), &state, WEXITED | WNOHANG | WNOWAIT) == 0 && state.si_pid == pid)
                exited = true;
        }
    }
    const int status = KillAndReap(pid);
    outcome.end = WIFSIGNALED(status) ? ChildOutcome::End::kSignalled : ChildOutcome::End::kExited;
    outcome.status = WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
    // What it wrote last; its group is gone, so the pipe ends soon unless
    // something outside it holds it open, which is not waited for long.
    const auto drained = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (reading.Get() >= 0) {
        const int left = MillisecondsUntil(drained);
        pollfd watched{reading.Get(), POLLIN, 0};
        if (left <= 0 || poll(&watched, 1, left) <= 0) break;
        char bytes[4096];
        const ssize_t count = read(reading.Get(), bytes, sizeof bytes);
        if (count > 0) {
            Keep(outcome.output, bytes, static_cast<size_t>(count));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            break;
        }
    }
    if (outcome.output.size() > kKeptOutput) outcome.output.erase(0, outcome.output.size() - kKeptOutput);
    return outcome;
}

std::string FindProgram(const std::string& name, const std::string& path)
{
    // Absolute: the program starts in a folder of its own.
    const auto absolute = [](const std::string& program) {
        std::error_code error;
        const std::filesystem::path made = std::filesystem::absolute(program, error);
        return error ? program : made.string();
    };
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return absolute(name);
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find(':', start), path.size());
        const std::string folder = end == start ? "." : path.substr(start, end - start);
        const std::string candidate = folder + "/" + name;
        struct stat status {};
        if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return absolute(candidate);
        start = end + 1;
    }
    return {};
}
