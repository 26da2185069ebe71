#include "driver/pdf/runlimit.h"

RunDeadline::RunDeadline(fz_cookie& cookie, double seconds)
    : watch([this, &cookie, seconds] {
          std::unique_lock lock(mutex);
          if (!finished.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return done; })) {
              expired = true;
              cookie.abort = 1;
          }
      })
{
}

RunDeadline::~RunDeadline()
{
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
