#pragma once

// An environment variable set, or unset, for a test's span; the value it had
// comes back after. (POSIX: setenv and unsetenv.)

#include <cstdlib>
#include <optional>
#include <string>

namespace swftest {

class EnvironmentSet {
public:
    EnvironmentSet(std::string name, const std::optional<std::string>& value) : name(std::move(name))
    {
        if (const char* old = std::getenv(this->name.c_str())) saved = old;
        value ? setenv(this->name.c_str(), value->c_str(), 1) : unsetenv(this->name.c_str());
    }
    ~EnvironmentSet() { saved ? setenv(name.c_str(), saved->c_str(), 1) : unsetenv(name.c_str()); }
    EnvironmentSet(const EnvironmentSet&) = delete;
    EnvironmentSet& operator=(const EnvironmentSet&) = delete;

private:
    std::string name;
    std::optional<std::string> saved;
};

}  // namespace swftest
