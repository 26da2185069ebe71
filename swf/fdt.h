#pragma once

#include <cstdint>
#include <optional>

#include "swf/fswfstream.h"

// Root of the define tags: each defines one character, whose ID it draws from
// the character-ID counter when it is constructed.
class FDT : public FTag {
public:
    // The character ID; a define tag without an ID of its own stops on "0".
    virtual uint16_t ID() const;

    // The counter's epoch (CharacterIDEpoch) when the tag drew its ID; none
    // for a tag that drew no ID. The file container refuses a tag of an
    // earlier epoch: the counter has handed its ID out again since.
    std::optional<uint32_t> IDEpoch() const { return idEpoch; }

protected:
    // The next character ID, remembering the epoch it was drawn in.
    uint16_t DrawCharacterID();

private:
    std::optional<uint32_t> idEpoch;
};
