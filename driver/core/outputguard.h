#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What tells one file from another whatever the names that lead to it: the
// device and inode, or on Windows the volume's serial number and the file's
// index on it.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an open file, or of the file a name leads to (none when
// it cannot be found).
std::optional<FileIdentity> IdentityOfOpenFile(int descriptor);
std::optional<FileIdentity> IdentityOfFile(const std::string& name);

// The files a run writes, made known before anything is read. The movie is
// checked at once as the writer will take it (its folder takes a file, it is
// no directory, no link on the way is refused), so that a run that cannot
// write it fails before any slide is read. While the guard lives, every
// input the converter opens is refused when it is one of the outputs (the
// same FileIdentity, whatever links lead there): a movie or page written
// over a file it was made from would destroy that file.
class OutputGuard {
public:
    // Throws ConverterError (status 1) when the movie, or the kept PDF of an
    // office deck, cannot be written there. The page's own writer checks it
    // when it is made.
    OutputGuard(const std::string& movieFile, const std::optional<std::string>& pageFile,
                const std::optional<std::string>& keptFile = std::nullopt);
    ~OutputGuard();
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;

    // Throws ConverterError (status 2) when the open input `name`, of the
    // given identity, is an output of the guard in force.
    static void CheckInput(const FileIdentity& identity, const std::string& name, const char* what);

private:
    struct Output {
        std::string name;
        const char* what;  // "movie", "page", "kept PDF"
        std::optional<FileIdentity> identity;  // none while it does not exist
    };
    static Output Identify(const std::string& name, const char* what);

    Output movie;
    std::optional<Output> page;
    std::optional<Output> kept;
};

// Whether two names are one file: the same identity when both exist
// (through links, hard links too), else the same path once made absolute and
// its links followed. The command line's checks (a movie over the PDF, a page
// over the movie) rest on it.
bool SameFile(const std::string& a, const std::string& b);
