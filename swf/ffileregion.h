#pragma once

#include "base/fversion.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A file kept open for the regions that name it, from when they are named
// until the stream has been written: the write then reads the very file that
// was checked, without looking its name up again. Closed with the last region
// that holds it.
class FSWFOpenFile {
public:
    explicit FSWFOpenFile(int descriptor) : descriptor(descriptor) {}  // takes it over
    FSWFOpenFile(const FSWFOpenFile&) = delete;
    FSWFOpenFile& operator=(const FSWFOpenFile&) = delete;
    ~FSWFOpenFile();
    int Descriptor() const { return descriptor; }

private:
    int descriptor;
};

// A stretch of a file that goes into the output as it stands, read only when
// the stream is written out. `fileSize` is the whole file's size when the
// region was named: a file of another size at the write, or one no longer
// there, is reported as an error (naming `path`) rather than written.
struct FSWFFileRegion {
    std::string path;
    std::shared_ptr<const FSWFOpenFile> file;  // when set, read through it; else opened by `path`
    uint64_t offset = 0;
    int32_t size = 0;
    uint64_t fileSize = 0;
    // The file has no name by design (an unlinked temporary file held open
    // through `file`), so a missing name does not mean it was replaced. Its
    // owner may go on appending to it after naming the region: it must then
    // be at least `fileSize` bytes at the write, not exactly that.
    bool unnamed = false;
};

// Reading the regions a stream names, when it is written out. Each region's
// file is checked against the size recorded when the region was named, and
// its bytes passed on in order; every failure is reported in `error` with
// the file's name.

// Hands the region's bytes to `put` in pieces of at most `bufferSize` bytes,
// read into `buffer`. Stops when `put` returns false (its own failure, whose
// reason it gives).
bool FReadFileRegion(const FSWFFileRegion& region, uint8_t* buffer, size_t bufferSize,
                     const std::function<bool(const uint8_t*, size_t)>& put, std::string* error);

// Reads the whole region into `destination`, which holds `region.size` bytes.
bool FReadFileRegionInto(const FSWFFileRegion& region, uint8_t* destination, std::string* error);

// Copies the region to the descriptor at its current position: by the kernel
// (copy_file_range, else sendfile) where the descriptor allows it, else
// through a buffer of fixed size.
bool FCopyFileRegionToDescriptor(const FSWFFileRegion& region, int descriptor, std::string* error);
