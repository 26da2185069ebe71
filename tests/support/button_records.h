#pragma once

// The condition records of a DefineButton2, read back for action checks.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/swf_reader.h"

namespace swftest {

// One condition record: its flags and action bytes (with the end byte).
struct ButtonCondition {
    uint16_t flags;
    std::vector<uint8_t> actions;
    bool operator==(const ButtonCondition&) const = default;
};

inline std::vector<ButtonCondition> ButtonConditions(const Tag& button)
{
    std::vector<ButtonCondition> conditions;
    size_t at = 3 + Word(button, 3);  // the action offset counts from its own field
    for (;;) {
        const uint16_t size = Word(button, at);
        const size_t end = size == 0 ? button.body.size() : at + size;
        if (end > button.body.size() || end < at + 4) throw std::runtime_error("condition record beyond the button");
        conditions.push_back({Word(button, at + 2),
                              std::vector<uint8_t>(button.body.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                                   button.body.begin() + static_cast<std::ptrdiff_t>(end))});
        if (size == 0) return conditions;
        at = end;
    }
}

}  // namespace swftest
