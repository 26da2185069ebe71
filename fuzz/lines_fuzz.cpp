// The stop-point and configuration readers on arbitrary file contents.

#include <cstdio>
#include <string>
#include <vector>

#include "driver/slideinput.h"

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
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)AtoiRule(text);
    return 0;
}
