#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <mupdf/fitz.h>

// Bounds on one run of a page through MuPDF: a page of the world's PDFs may
// draw without end (forms inside forms, each drawing the one below ten
// times), and MuPDF draws whatever it is given. Its interpreter stops where it
// is, as if the content ended there, once a run's cookie says abort: these
// set it, and what was drawn before is the picture.

// Sets the cookie's abort once `seconds` have passed, from a thread of its
// own (MuPDF reads the cookie between operators; an abort set from another
// thread is what it is for), until destroyed. An infinite time starts no thread.
class RunDeadline {
public:
    RunDeadline(fz_cookie& cookie, double seconds);
    ~RunDeadline();
    RunDeadline(const RunDeadline&) = delete;
    RunDeadline& operator=(const RunDeadline&) = delete;

    bool Expired();

private:
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool expired = false;
    std::thread watch;
};

// Counts what a device is given (see NewDecodableImagesDevice) and sets the
// cookie's abort past `most`: a display list holds every call, so the count
// bounds its memory.
struct RunCallLimit {
    uint64_t most = 0;
    fz_cookie* cookie = nullptr;
    uint64_t made = 0;

    bool Reached() const { return made > most; }
    void Count()
    {
        if (++made > most && cookie) cookie->abort = 1;
    }
};

// What drawing a page whole may take: the show waits for no page longer, and
// holds no longer list of what a page draws.
constexpr double kMostRenderSeconds = 5;
constexpr uint64_t kMostListedCalls = 3'000'000;
