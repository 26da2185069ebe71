#pragma once

// The configuration and stop-point files: numbers read a line at a time, as
// the converter always read them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/core/slidesize.h"

// The C `atoi` rule (leading white space, optional sign, digits up to the first
// other character, 0 when there are none), saturating instead of overflowing.
int32_t AtoiRule(std::string_view text);

// The values of a file read line by line: each pass reads up to `lineLimit`
// characters or a line feed; a file ending in a line feed gets one more pass,
// which yields 0. A carriage return stays in its line (and ends the number).
// A read error ends the reading with the values so far; the file's error
// indicator tells the caller.
std::vector<int32_t> ReadLineValues(std::FILE* file, size_t lineLimit);

constexpr size_t kStopPointLineLimit = 6;
constexpr size_t kConfigLineLimit = 255;

// Entry 0 is the first return target; entries 1 on are the stop frames.
std::vector<int32_t> ReadStopPoints(const std::string& name);

// Line 1 the width, line 2 the height; a value that is not a positive size is refused.
SlideSize ReadConfig(const std::string& name);
