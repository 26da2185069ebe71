#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/fdt.h"

// DefineSprite (39): a movie clip with a timeline of its own, given as the
// control tags it plays frame by frame; each ShowFrame among them ends one of
// its frames. The nested tags are written inside the sprite's body, and any
// borrowed bytes they carry (deferred blocks) travel with it into the movie.
class FDTDefineSprite : public FDT {
public:
    // An empty sprite with a fresh character ID.
    FDTDefineSprite();

    // Takes the tag over and appends it; a ShowFrame adds a frame.
    void AddControlTag(std::unique_ptr<FTag> tag);

    uint16_t FrameCount() const { return frameCount; }
    size_t TagCount() const { return controlTags.size(); }
    uint16_t ID() const override { return characterID; }

    // Character ID, frame count, every nested tag, then the sprite's own End tag.
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    std::vector<std::unique_ptr<FTag>> controlTags;
    uint16_t frameCount = 0;
};
