#include "driver/pdf/runlimit.h"

#include <algorithm>
#include <cmath>

RunDeadline::RunDeadline(fz_cookie& cookie, double seconds)
{
    if (!std::isfinite(seconds)) return;
    watch = std::thread([this, &cookie, seconds] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::duration<double>(std::max(seconds, 0.0)), [this] { return done; })) {
            expired = true;
            cookie.abort = 1;
        }
    });
}

RunDeadline::~RunDeadline()
{
    if (!watch.joinable()) return;
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watch.join();
}

bool RunDeadline::Expired()
{
    std::lock_guard lock(mutex);
    return expired;
}
