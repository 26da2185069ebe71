#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "swf/fswfstream.h"

// Root of the define tags: each defines one character, whose ID it draws from
// the character-ID counter when it is constructed.
class FDT : public FTag {
public:
    // The character ID; a define tag without an ID of its own stops on "0".
    virtual uint16_t ID() const;

    // The counter's epoch (FCharacterIDEpoch) when the tag drew its ID; none
    // for a tag that drew no ID. The file container refuses a tag of an
    // earlier epoch: the counter has handed its ID out again since.
    std::optional<uint32_t> IDEpoch() const { return idEpoch; }

protected:
    // The next character ID, remembering the epoch it was drawn in.
    uint16_t DrawCharacterID();
    // Stands for another tag's ID, drawn in its epoch.
    void TakeIDEpoch(const FDT& from) { idEpoch = from.idEpoch; }

private:
    std::optional<uint32_t> idEpoch;
};

// Lends a define tag's ID (and the epoch it was drawn in) to the one define
// tag constructed next on this thread, which takes it in the place of
// drawing a new one: for a tag whose content is made after the ID it goes by
// was handed out (a picture encoded on another thread while the shapes that
// fill with it are drawn). The counter is not touched. One tag a loan, made
// while the loan lives; `from` must have drawn an ID.
class FLentCharacterID {
public:
    explicit FLentCharacterID(const FDT& from);
    ~FLentCharacterID();
    FLentCharacterID(const FLentCharacterID&) = delete;
    FLentCharacterID& operator=(const FLentCharacterID&) = delete;
};

// A define tag written once and kept as its bytes, in the place of the tag it
// stands for: far smaller, for a movie that holds thousands of definitions
// until it is written. The tag's bytes must no longer change (nothing refers
// to a define tag once it is in a frame: placements refer to their own tags).
// Its ID and the epoch it was drawn in carry over.
class FDTWritten : public FDT {
public:
    // The tag written; null for one that cannot be kept this way: without an
    // ID of its own, or splicing in deferred blocks (whose bytes it borrows).
    static std::unique_ptr<FDTWritten> From(FDT& tag);
    // `bytes`: the tag as it writes itself.
    FDTWritten(const FDT& tag, std::vector<uint8_t> bytes);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return id; }

private:
    uint16_t id;
    std::vector<uint8_t> bytes;
};
