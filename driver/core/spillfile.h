#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "swf/ffileregion.h"

// An unnamed temporary file that finished pieces of the movie (compressed
// slides, page JPEGs, encoded sound) wait in until the movie copies them in,
// so that memory does not grow with the deck. It lies in $TMPDIR (else the
// system's temporary folder) and has no name from the start where the file
// system allows it; elsewhere it is named only for the moment between its
// making and its removal, with the signals that would end the run held off,
// so no file is left behind after success, failure or a signal. The file goes
// with the last region that holds it.
class SpillFile {
public:
    // `what` says what it holds, for messages ("slides"). Throws
    // ConverterError when the file cannot be made.
    explicit SpillFile(std::string what);
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Writes the bytes at the file's end and returns the region naming them
    // (`label` becomes its path in messages). Thread-safe: each call gets its
    // own stretch of the file. Throws ConverterError when they cannot be
    // written (a full disk); at most kLargestPiece bytes a call.
    FSWFFileRegion Append(const uint8_t* bytes, size_t size, const std::string& label);

    // Names a stretch already written, for a writer that alone appends to
    // the file and so finds its pieces back to back (`offset`: Size() before
    // the first of them; a region holds less than 2 GiB). Thread-safe.
    FSWFFileRegion Region(uint64_t offset, uint64_t size, const std::string& label) const;

    uint64_t Size() const;
    const std::shared_ptr<const FSWFOpenFile>& File() const { return file; }
    // The folder the file was made in.
    const std::string& Folder() const { return folder; }

    // A region's size is 32-bit.
    static constexpr size_t kLargestPiece = size_t{1} << 30;

private:
    FSWFFileRegion Named(uint64_t offset, uint64_t size, uint64_t fileSize, const std::string& label) const;

    std::string what;
    std::string folder;
    std::shared_ptr<const FSWFOpenFile> file;
    mutable std::mutex mutex;
    uint64_t end = 0;  // bytes given out so far
};

// $TMPDIR when it is set and not empty, else the system's temporary folder.
std::string TemporaryFolder();
