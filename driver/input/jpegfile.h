#pragma once

// Slide and button images as JPEG files: checked where they lie, read only as
// far as their header goes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/slidesize.h"
#include "swf/fswfstream.h"

// A slide or button image must be a JPEG: not empty, starting with FF D8, with
// a header that libjpeg reads (its message says what is wrong otherwise).
// Returns the image's size in pixels.
SlideSize CheckJPEG(const std::vector<uint8_t>& bytes, const std::string& name, const char* what);

// A JPEG left where it lies, with the size its header gives.
struct JPEGFile {
    FSWFFileRegion region;
    SlideSize size;  // pixels
};

// The same checks, and those of LoadWholeFile, made on the file where it lies:
// only the start of the file is read, as far as the header goes. The region
// names the whole file, to be copied into the movie when it is written; with
// `keepOpen` it holds the file open until then.
JPEGFile ReadJPEGFile(const std::string& name, const char* what, bool keepOpen = false);
FSWFFileRegion CheckJPEGFile(const std::string& name, const char* what, bool keepOpen = false);

// How many slide files may stay open from their check to the write: what the
// descriptor limit leaves beside a reserve for everything else, the limit
// raised toward its ceiling first when the deck needs more.
size_t SlideFilesKeptOpen(int32_t slideCount);
