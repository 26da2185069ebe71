#include "swf/fdtsprite.h"

#include "base/fassert.h"

FDTDefineSprite::FDTDefineSprite() : characterID(DrawCharacterID()) {}

void FDTDefineSprite::AddControlTag(std::unique_ptr<FTag> tag)
{
    F_ASSERT(tag, "tag");
    if (tag->IsShowFrame()) {
        // The frame count is a 16-bit field: one more frame would wrap it to 0.
        F_ASSERT(frameCount < 0xFFFF, "frameCount < 0xFFFF");
        ++frameCount;
    }
    controlTags.push_back(std::move(tag));
}

void FDTDefineSprite::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteWord(frameCount);
    for (const std::unique_ptr<FTag>& tag : controlTags) tag->Write(body);
    body.AppendTag(FTagCode::End, 0, nullptr);
    // Size counts the nested deferred blocks; Append carries them over.
    stream.AppendTag(FTagCode::DefineSprite, body.Size(), &body);
}
