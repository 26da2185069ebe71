#include "driver/core/error.h"

#include <cstring>

namespace {

// strerror_r comes in two forms: the GNU one returns the text (which need not
// be in the buffer), the POSIX one fills the buffer and returns 0 or an error.
[[maybe_unused]] const char* StrerrorText(const char* text, const char*) { return text; }
[[maybe_unused]] const char* StrerrorText(int failed, const char* buffer) { return failed == 0 ? buffer : nullptr; }

}  // namespace

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

std::string ErrorText(int error)
{
    char buffer[256] = {};
#ifdef _WIN32
    const char* text = strerror_s(buffer, sizeof buffer, error) == 0 ? buffer : nullptr;
#else
    const char* text = StrerrorText(strerror_r(error, buffer, sizeof buffer), buffer);
#endif
    return text && *text ? std::string(text) : "error " + std::to_string(error);
}
