// The stop-point and configuration readers on arbitrary file contents, and
// the character budget of the stop table they read.

#include <cstdio>
#include <string>
#include <vector>

#include "driver/input/configfiles.h"
#include "driver/compose/stoptable.h"

namespace {

std::vector<int32_t> ValuesOf(const uint8_t* data, size_t size, size_t limit)
{
    std::FILE* file = std::tmpfile();
    if (!file) return {};
    std::fwrite(data, 1, size, file);
    std::rewind(file);
    std::vector<int32_t> values = ReadLineValues(file, limit);
    std::fclose(file);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (size_t limit : {kStopPointLineLimit, kConfigLineLimit}) {
        const std::vector<int32_t> values = ValuesOf(data, size, limit);
        // Every pass consumes at least one character or ends the file, so
        // there are never more passes than characters plus one.
        if (values.size() > size + 1) __builtin_trap();
    }
    // The stop values as the composition counts them: whatever the entries
    // (below 0, beyond 16 bits), each slide draws its seven IDs, and each
    // frame's backward buttons at most three and one for each further entry.
    const std::vector<int32_t> stops = ValuesOf(data, size, kStopPointLineLimit);
    for (int32_t slides : {0, 1, 2, 7, 500}) {
        const uint64_t least = 7 * static_cast<uint64_t>(slides) + 1;
        const uint64_t ids = CharacterIDsNeeded(slides, stops);
        if (ids < least || ids > least + 2 * static_cast<uint64_t>(slides) + stops.size()) __builtin_trap();
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)AtoiRule(text);
    return 0;
}
