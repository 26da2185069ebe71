#pragma once

#ifndef _WIN32

#include <signal.h>

// The names of the hidden temporary files the process has open, kept where a
// signal handler can reach them: an interrupted or terminated run (SIGINT,
// SIGTERM, SIGHUP) removes them before it ends, by the signal's default
// action. Unnamed temporary files need none of this; the hidden ones of file
// systems without them (FUSE, NFS, FAT) would otherwise stay behind.
//
// The handlers are installed with the first name, for each of those signals
// whose action is still the default: a program that handles them itself
// keeps its own handling.
class FTemporaryNames {
public:
    static constexpr int kSlots = 16;
    static constexpr int kLongestName = 4095;

    // Keeps `path` (made absolute) until Forget; the slot, or -1 when every
    // slot is taken or the name is too long (the file is then left to its
    // owner alone).
    static int Remember(const char* path);
    static void Forget(int slot);

    // Blocks the signals the names are removed on for its span, so that a file
    // is made and remembered in one step.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        sigset_t saved;
    };
};

#else

#include <mutex>

// Windows: the same, for the console's requests to end the run (Ctrl+C,
// Ctrl+Break, the window closed), through SetConsoleCtrlHandler. The handler
// runs on a thread of its own and removes the remembered files (which must be
// open with FILE_SHARE_DELETE for that: they go when the process's handles
// close); then the system's own handling ends the process. A program that
// handles those requests itself keeps its handling: a handler installed
// after ours is asked first, and one that takes the request stops it here.
class FTemporaryNames {
public:
    static constexpr int kSlots = 16;
    static constexpr int kLongestName = 32767;  // a wide path's limit

    // `path` in UTF-8, made absolute; the slot, or -1 as above.
    static int Remember(const char* path);
    static void Forget(int slot);

    // Keeps the handler waiting for its span, so that a file is made and
    // remembered in one step.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    };
};

#endif
