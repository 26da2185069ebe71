#include "driver/input/jpegheader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "driver/core/threadcache.h"
#include "driver/encode/jpegerror.h"

namespace {

// A source over bytes in memory that suspends at their end when they are only
// a prefix, so that a header running past them is told from a broken one.
struct PrefixSource {
    jpeg_source_mgr base;
    bool wholeFile;
    bool ranOut;
};

void InitSource(j_decompress_ptr) {}

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

boolean FillInputBuffer(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<PrefixSource*>(info->src);
    source->ranOut = true;
    if (!source->wholeFile) return FALSE;  // suspend: the caller gives more bytes
    // The file ends here: an end-of-image marker, as libjpeg's memory source
    // does, lets it report what is missing.
    WARNMS(info, JWRN_JPEG_EOF);
    source->base.next_input_byte = kEndOfImage;
    source->base.bytes_in_buffer = 2;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    auto* source = reinterpret_cast<PrefixSource*>(info->src);
    if (count <= 0) return;
    if (static_cast<size_t>(count) <= source->base.bytes_in_buffer) {
        source->base.next_input_byte += count;
        source->base.bytes_in_buffer -= static_cast<size_t>(count);
        return;
    }
    // Past the bytes given: the next fill suspends (or ends the file).
    source->base.next_input_byte += source->base.bytes_in_buffer;
    source->base.bytes_in_buffer = 0;
    source->ranOut = true;
}

void TermSource(j_decompress_ptr) {}

struct RawHeader {
    int outcome;  // 0 read, 1 incomplete, 2 broken
    bool endReached;  // broken where the bytes ran out
    unsigned width;
    unsigned height;
    char message[JMSG_LENGTH_MAX];
};

// Everything libjpeg touches lives in the caller's frame, not in locals of
// the function that calls setjmp, whose values a jump would leave undefined.
struct Reader {
    jpeg_decompress_struct info;
    JPEGErrorJump errors;
    PrefixSource source;
    bool created;
};

// One decompressor a thread, made at its first header and reset after each:
// a deck of thousands of slides would otherwise spend more time setting
// libjpeg up and tearing it down than reading headers.
class ThreadReader {
public:
    ThreadReader()
    {
        std::memset(&reader, 0, sizeof reader);
        reader.info.err = reader.errors.Install();
    }
    ThreadReader(const ThreadReader&) = delete;
    ThreadReader& operator=(const ThreadReader&) = delete;
    ~ThreadReader()
    {
        if (reader.created) jpeg_destroy_decompress(&reader.info);
    }
    Reader* Get() { return &reader; }

private:
    Reader reader;
};

void ParseHeader(const uint8_t* bytes, size_t size, bool wholeFile, Reader* reader, RawHeader* result)
{
    jpeg_decompress_struct& info = reader->info;
    JPEGErrorJump& errors = reader->errors;
    PrefixSource& source = reader->source;
    errors.message[0] = '\0';
    if (setjmp(errors.back)) {
        // A header cut short by the prefix may also look broken (a marker
        // length running past it): more bytes decide.
        result->outcome = !wholeFile && source.ranOut ? 1 : 2;
        result->endReached = source.ranOut;
        std::snprintf(result->message, sizeof result->message, "%s", errors.message);
        if (reader->created) {
            jpeg_abort_decompress(&info);
        } else {
            jpeg_destroy_decompress(&info);  // creation itself failed: whatever it set up goes
        }
        return;
    }
    if (!reader->created) {
        jpeg_create_decompress(&info);
        reader->created = true;
    }
    source.base.next_input_byte = bytes;
    source.base.bytes_in_buffer = size;
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInputBuffer;
    source.base.skip_input_data = SkipInputData;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.wholeFile = wholeFile;
    source.ranOut = false;
    info.src = &source.base;
    const int status = jpeg_read_header(&info, TRUE);
    if (status == JPEG_SUSPENDED) {
        result->outcome = 1;
    } else {
        result->outcome = 0;
        result->width = info.image_width;
        result->height = info.image_height;
    }
    jpeg_abort_decompress(&info);  // ready for the next header
}

}  // namespace

JPEGHeader ReadJPEGHeader(const uint8_t* bytes, size_t size, bool wholeFile)
{
    RawHeader raw{};
    CORVANEX_THREAD_CACHE ThreadReader reader;
    ParseHeader(bytes, size, wholeFile, reader.Get(), &raw);
    JPEGHeader header;
    if (raw.outcome == 0) {
        header.outcome = JPEGHeader::Outcome::kRead;
        header.width = static_cast<int32_t>(raw.width);
        header.height = static_cast<int32_t>(raw.height);
    } else if (raw.outcome == 1) {
        header.outcome = JPEGHeader::Outcome::kIncomplete;
    } else if (raw.endReached) {
        // libjpeg's message for a header cut short is about the marker it
        // met instead; the cause comes first.
        header.message = std::string("the file ends before its header is complete (") + raw.message + ")";
    } else {
        header.message = raw.message;
    }
    return header;
}
