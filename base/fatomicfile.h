#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef _WIN32
#include <sys/types.h>

// Writes all `count` bytes to the descriptor, through short writes and
// interruptions. On failure `error` (when given) receives "write failed: "
// and the system's reason.
bool FWriteAllToDescriptor(int descriptor, const uint8_t* bytes, size_t count, std::string* error);
// The same at `offset`, leaving the descriptor's position where it was.
bool FWriteAllToDescriptorAt(int descriptor, const uint8_t* bytes, size_t count, off_t offset, std::string* error);

// A file written whole or not at all. Its bytes go to a file beside the
// target that has no name (where the file system allows it) or a hidden one,
// named after the target (".out.swf.corvanex-XXXXXX"); Commit flushes them to
// the disk and only then puts the file under the target's name, replacing
// what was there in one step. Until then the target is untouched, and a file
// dropped without Commit leaves nothing behind; neither does a killed process
// where the file had no name, nor an interrupted or terminated one where it
// had a hidden name (FTemporaryNames removes it).
//
// A target that is a symbolic link is written through: the file goes beside
// the file the link leads to and replaces that, and the link stays. A link is
// followed only where the system's rule for shared folders allows it: not one
// in a world-writable sticky folder (/tmp) that belongs to neither this user
// nor the folder's owner, which another user may have planted there. A file
// that is replaced keeps its permissions and, where the user may give them,
// its owner and group; a new file gets the permissions of a newly created file
// (0666 less the umask). File systems that cannot set them (FAT) leave them be.
//
// Every failure is reported in `error` (when given): what failed ("cannot
// create a temporary file beside it", "write failed", "cannot replace the
// file", "will not follow the symbolic link '<link>'"), a colon and the reason.
class FAtomicFile {
public:
    enum class Method {
        Automatic,       // a file without a name where the file system allows it, else a hidden one
        HiddenTemporary  // always a hidden file beside the target (the way without unnamed files)
    };

    FAtomicFile() = default;
    FAtomicFile(const FAtomicFile&) = delete;
    FAtomicFile& operator=(const FAtomicFile&) = delete;
    ~FAtomicFile();  // drops an uncommitted file

    // Makes the file for `target`. False (with `error`) when the folder cannot
    // take it, the target is a directory, or a link on the way is not followed.
    bool Open(const std::string& target, std::string* error, Method method = Method::Automatic);
    int Descriptor() const { return descriptor; }
    // Whether the open file has no name (false: it is a hidden file beside the target).
    bool IsUnnamed() const { return unnamed; }

    // Writes the bytes at the current position.
    bool Write(const uint8_t* bytes, size_t count, std::string* error);
    // Flushes, closes and puts the file in the target's place.
    bool Commit(std::string* error);
    // Closes and removes the file without touching the target.
    void Discard();

    // The calls that set a new file's permissions and owner, replaceable so
    // that tests can play a file system that refuses them.
    struct SystemCalls {
        int (*changeMode)(int descriptor, mode_t mode);
        int (*changeOwner)(int descriptor, uid_t owner, gid_t group);
    };
    static SystemCalls& Calls();

private:
    bool LinkUnnamed(std::string* error);
    bool TakeOverPermissions(std::string* error);
    void SetTemporary(const std::string& name);
    void ClearTemporary();

    std::string target;     // the symbolic links followed
    std::string temporary;  // the hidden file's name, while there is one
    int temporarySlot = -1;  // its place among FTemporaryNames
    int descriptor = -1;
    bool unnamed = false;
};

// The file a path names once its symbolic links are followed (the path
// itself when it is no link, or when the file a link leads to does not exist
// yet: that is then the file to create). Links in the folders on the way are
// left to the system. False, with `error`, for a link the rule above does not
// follow.
bool FFollowSymbolicLinks(const std::string& path, std::string* followed, std::string* error);
#else
// Windows: the same interface, without unnamed files, links or permissions.
// The file is a hidden one beside the target (".out.swf.corvanex-XXXXXX"),
// opened in binary mode; Commit flushes it to the disk and moves it over the
// target, replacing it, in one step that returns once the move is on the
// disk. Names are UTF-8. A run ended from the console removes it
// (FTemporaryNames).

bool FWriteAllToDescriptor(int descriptor, const uint8_t* bytes, size_t count, std::string* error);
// The same at `offset`, through the file's handle, so that threads may write
// at once; the descriptor's position afterwards is left to the system.
bool FWriteAllToDescriptorAt(int descriptor, const uint8_t* bytes, size_t count, int64_t offset, std::string* error);
// Reads up to `count` bytes at `offset` the same way: the count, 0 at the end
// of the file, -1 on failure (errno set).
int64_t FReadFromDescriptorAt(int descriptor, uint8_t* bytes, size_t count, uint64_t offset);

class FAtomicFile {
public:
    enum class Method { Automatic, HiddenTemporary };  // one way only here: the hidden file

    FAtomicFile() = default;
    FAtomicFile(const FAtomicFile&) = delete;
    FAtomicFile& operator=(const FAtomicFile&) = delete;
    ~FAtomicFile();

    bool Open(const std::string& target, std::string* error, Method method = Method::Automatic);
    int Descriptor() const { return descriptor; }
    bool IsUnnamed() const { return false; }

    bool Write(const uint8_t* bytes, size_t count, std::string* error);
    bool Commit(std::string* error);
    void Discard();

private:
    void ClearTemporary();

    std::wstring target;
    std::wstring temporary;
    int temporarySlot = -1;
    int descriptor = -1;
};
#endif
