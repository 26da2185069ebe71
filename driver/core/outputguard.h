#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

struct stat;

// The files a run writes, made known before anything is read. The movie is
// checked at once as the writer will take it (its folder takes a file, it is
// no directory, no link on the way is refused), so that a run that cannot
// write it fails before any slide is read. While the guard lives, every
// input the converter opens is refused when it is one of the outputs (the
// same device and inode, whatever links lead there): a movie or page written
// over a file it was made from would destroy that file.
class OutputGuard {
public:
    // Throws ConverterError (status 1) when the movie cannot be written there.
    // The page's own writer checks it when it is made.
    OutputGuard(const std::string& movieFile, const std::optional<std::string>& pageFile);
    ~OutputGuard();
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;

    // Throws ConverterError (status 2) when the open input `name`, of which
    // `status` was taken, is an output of the guard in force.
    static void CheckInput(const struct stat& status, const std::string& name, const char* what);

private:
    struct Output {
        std::string name;
        const char* what;  // "movie", "page"
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
    };
    static Output Identify(const std::string& name, const char* what);

    Output movie;
    std::optional<Output> page;
};

// Whether two names are one file: the same device and inode when both exist
// (through links, hard links too), else the same path once made absolute and
// its links followed. The command line's checks (a movie over the PDF, a page
// over the movie) rest on it.
bool SameFile(const std::string& a, const std::string& b);
