#pragma once

// The bytes of a file region, read as a movie's write reads them: through a
// buffer of `bufferSize` bytes, so that a small one reads it in pieces.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "swf/ffileregion.h"

namespace swftest {

inline std::vector<uint8_t> RegionBytes(const FSWFFileRegion& region, size_t bufferSize = 65536)
{
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> buffer(bufferSize);
    std::string error;
    EXPECT_TRUE(FReadFileRegion(
        region, buffer.data(), buffer.size(),
        [&](const uint8_t* data, size_t size) {
            bytes.insert(bytes.end(), data, data + size);
            return true;
        },
        &error))
        << error;
    return bytes;
}

}  // namespace swftest
