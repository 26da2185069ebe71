#pragma once

#include <cstdint>

#include "swf/fswfstream.h"

// Root of the define tags: each defines one character, whose ID it draws from
// the character-ID counter when it is constructed.
class FDT : public FTag {
public:
    // The character ID; a define tag without an ID of its own stops on "0".
    virtual uint16_t ID() const;
};
