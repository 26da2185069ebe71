#include "driver/input/configfiles.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t AtoiRule(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

std::vector<int32_t> ReadLineValues(std::FILE* file, size_t lineLimit)
{
    std::vector<int32_t> values;
    std::string line;
    // The end-of-file test comes before each pass, so a final line feed gives
    // one more pass; a character read at the end is EOF, which is not a digit.
    // A read error sets neither the end-of-file indicator nor gives a line
    // feed: it ends the reading, and the caller reports it.
    while (!std::feof(file) && !std::ferror(file)) {
        line.clear();
        while (line.size() < lineLimit) {
            const int c = std::fgetc(file);
            if (c == '\n') break;
            if (c == EOF && std::ferror(file)) return values;
            line.push_back(static_cast<char>(c));
        }
        values.push_back(AtoiRule(line));
    }
    return values;
}

std::vector<int32_t> ReadStopPoints(const std::string& name)
{
    InputFilePointer file = OpenForReading(name, "stop-point file",
                                      " (an empty file gives a show without stop points)");
    std::vector<int32_t> table = ReadLineValues(file.get(), kStopPointLineLimit);
    if (std::ferror(file.get())) {
        throw ConverterError("cannot read the stop-point file " + Quoted(name) + ": " + std::strerror(errno),
                             kExitFailure);
    }
    return table;
}

SlideSize ReadConfig(const std::string& name)
{
    InputFilePointer file = OpenForReading(name, "configuration file");
    const std::vector<int32_t> values = ReadLineValues(file.get(), kConfigLineLimit);
    if (std::ferror(file.get())) {
        throw ConverterError("cannot read the configuration file " + Quoted(name) + ": " + std::strerror(errno),
                             kExitFailure);
    }

    SlideSize size;
    if (values.size() > 0) size.width = values[0];
    if (values.size() > 1) size.height = values[1];
    auto check = [&](int32_t value, const char* side, const char* line) {
        if (value <= 0 || value > kMaxSlideSide) {
            throw ConverterError("the configuration file " + Quoted(name) + " gives the slide " + side +
                                     " " + std::to_string(value) + " (" + line +
                                     "), which is not a size from 1 to " + std::to_string(kMaxSlideSide) +
                                     " pixels",
                                 kExitFailure);
        }
    };
    check(size.width, "width", "line 1");
    check(size.height, "height", "line 2");
    return size;
}
