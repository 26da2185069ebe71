#include "base/ftemporarynames.h"

#ifndef _WIN32

#include <atomic>
#include <cerrno>
#include <cstring>

#include <pthread.h>
#include <unistd.h>

namespace {

// A slot is free, being filled (not yet for the handler) or holds a name.
enum SlotState : int { kFree, kFilling, kHeld };

struct Slot {
    std::atomic<int> state{kFree};
    char name[FTemporaryNames::kLongestName + 1];
};

Slot gSlots[FTemporaryNames::kSlots];
std::atomic<bool> gInstalled{false};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots' states");

// Only async-signal-safe calls: unlink, sigaction, raise. C linkage, as the
// system calls it, but static: a library linked into other programs exports
// no handler of its own.
extern "C" {
static void RemoveAndDie(int signal)
{
    const int saved = errno;
    for (Slot& slot : gSlots)
        if (slot.state.load() == kHeld) unlink(slot.name);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    errno = saved;
    // Blocked until the handler returns, then the default action ends the process.
    raise(signal);
}
}

void InstallOnce()
{
    if (gInstalled.exchange(true)) return;
    for (const int signal : kSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction ours {};
        ours.sa_handler = RemoveAndDie;
        sigemptyset(&ours.sa_mask);
        for (const int other : kSignals) sigaddset(&ours.sa_mask, other);
        sigaction(signal, &ours, nullptr);
    }
}

}  // namespace

int FTemporaryNames::Remember(const char* path)
{
    // Absolute, so that the name still holds if the working folder changes.
    char absolute[kLongestName + 1];
    size_t length = 0;
    if (path[0] != '/') {
        if (!getcwd(absolute, sizeof absolute)) return -1;
        length = std::strlen(absolute);
        if (length + 1 >= sizeof absolute) return -1;
        absolute[length++] = '/';
    }
    const size_t pathLength = std::strlen(path);
    if (length + pathLength > kLongestName) return -1;
    std::memcpy(absolute + length, path, pathLength + 1);

    InstallOnce();
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(gSlots[i].name, absolute, length + pathLength + 1);
        gSlots[i].state.store(kHeld);
        return i;
    }
    return -1;
}

void FTemporaryNames::Forget(int slot)
{
    if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(kFree);
}

FTemporaryNames::Hold::Hold()
{
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : kSignals) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &saved);
}

FTemporaryNames::Hold::~Hold()
{
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

#else  // _WIN32

#include <string>

#include <windows.h>

#include "base/futf8names.h"

namespace {

// One lock for the names and the handler: recursive, since a file is
// remembered while its making is held.
std::recursive_mutex& Lock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::wstring gSlots[FTemporaryNames::kSlots];
bool gInstalled = false;

BOOL WINAPI RemoveAndEnd(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    // Taken and kept: the run makes no file after these are gone, until the
    // system's handling that follows ends it.
    Lock().lock();
    for (const std::wstring& name : gSlots)
        if (!name.empty()) DeleteFileW(name.c_str());
    return FALSE;
}

}  // namespace

int FTemporaryNames::Remember(const char* path)
{
    const std::wstring wide = FWideFromUTF8(path);
    wchar_t absolute[kLongestName + 1];
    const DWORD length = GetFullPathNameW(wide.c_str(), kLongestName + 1, absolute, nullptr);
    if (length == 0 || length > kLongestName) return -1;

    const std::lock_guard lock(Lock());
    if (!gInstalled) gInstalled = SetConsoleCtrlHandler(RemoveAndEnd, TRUE) != 0;
    for (int i = 0; i < kSlots; ++i) {
        if (!gSlots[i].empty()) continue;
        gSlots[i].assign(absolute, length);
        return i;
    }
    return -1;
}

void FTemporaryNames::Forget(int slot)
{
    const std::lock_guard lock(Lock());
    if (slot >= 0 && slot < kSlots) gSlots[slot].clear();
}

FTemporaryNames::Hold::Hold()
{
    Lock().lock();
}

FTemporaryNames::Hold::~Hold()
{
    Lock().unlock();
}

#endif
