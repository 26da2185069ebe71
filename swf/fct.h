#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/faction.h"
#include "swf/fprimitives.h"
#include "swf/fsoundinfo.h"
#include "swf/fswfstream.h"

// The control tags: display list, background colour, frame label, frame
// actions, protection and event sounds. Each owns the records it is given.

// Actions run when the frame is reached.
class FCTDoAction : public FTag {
public:
    void AddAction(std::unique_ptr<FActionRecord> action);  // a null record is ignored
    void Write(FSWFStream& stream) override;
    size_t ActionCount() const { return actions.size(); }

private:
    std::vector<std::unique_ptr<FActionRecord>> actions;
};

// FrameLabel: names the frame it is in, for FActionGotoLabel.
class FCTFrameLabel : public FTag {
public:
    explicit FCTFrameLabel(FString label) : label(std::move(label)) {}
    void Write(FSWFStream& stream) override;

private:
    FString label;
};

// The original placement tag; its colour transform is required.
class FCTPlaceObject : public FTag {
public:
    FCTPlaceObject(uint16_t characterID, uint16_t depth, FMatrix matrix,
                   std::unique_ptr<FCXForm> colorTransform);
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    uint16_t depth;
    FMatrix matrix;
    std::unique_ptr<FCXForm> _colorTransform;
};

// Places a new character (`hasCharacter`), or changes the one at `depth`
// (`move`). Matrix, colour transform and name are written when present.
class FCTPlaceObject2 : public FTag {
public:
    FCTPlaceObject2(bool hasClipDepth, bool hasRatio, bool hasCharacter, bool move, uint16_t depth,
                    uint16_t characterID, std::unique_ptr<FMatrix> matrix,
                    std::unique_ptr<FCXForm> colorTransform, uint16_t ratio,
                    std::unique_ptr<FString> name, uint16_t clipDepth);
    void Write(FSWFStream& stream) override;

    // Depth sorting decides the display depth after the tag is built.
    void SetDepth(uint16_t depth) { this->depth = depth; }
    uint16_t Depth() const { return depth; }
    uint16_t CharacterID() const { return characterID; }

private:
    bool hasClipDepth;
    bool hasRatio;
    bool hasCharacter;
    bool move;
    uint16_t depth;
    uint16_t characterID;
    std::unique_ptr<FMatrix> matrix;
    std::unique_ptr<FCXForm> colorTransform;
    uint16_t ratio;
    std::unique_ptr<FString> name;
    uint16_t clipDepth;
};

// Asks players not to import the movie into an editor.
class FCTProtect : public FTag {
public:
    void Write(FSWFStream& stream) override;
};

// RemoveObject: takes the character placed at a depth off the display list.
class FCTRemoveObject : public FTag {
public:
    FCTRemoveObject(uint16_t characterID, uint16_t depth) : characterID(characterID), depth(depth) {}
    void Write(FSWFStream& stream) override;

    // Depth sorting gives the removal the display depth of its placement.
    void SetDepth(uint16_t depth) { this->depth = depth; }
    uint16_t Depth() const { return depth; }
    uint16_t CharacterID() const { return characterID; }

private:
    uint16_t characterID;
    uint16_t depth;
};

// RemoveObject2: takes whatever is at a depth off the display list.
class FCTRemoveObject2 : public FTag {
public:
    explicit FCTRemoveObject2(uint16_t depth) : depth(depth) {}
    void Write(FSWFStream& stream) override;

private:
    uint16_t depth;
};

// The background is always written as RGB, whatever alpha the colour carries.
class FCTSetBackgroundColor : public FTag {
public:
    explicit FCTSetBackgroundColor(FColor color);
    void Write(FSWFStream& stream) override;

private:
    FColor color;
};

// StartSound: starts (or stops) a defined event sound as FSoundInfo says.
class FCTStartSound : public FTag {
public:
    FCTStartSound(uint16_t soundID, FSoundInfo soundInfo) : soundID(soundID), soundInfo(std::move(soundInfo)) {}
    void Write(FSWFStream& stream) override;

private:
    uint16_t soundID;
    FSoundInfo soundInfo;
};
