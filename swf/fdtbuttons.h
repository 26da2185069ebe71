#pragma once

#include "base/fversion.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/faction.h"
#include "swf/fdt.h"
#include "swf/fprimitives.h"
#include "swf/fsoundinfo.h"

// One state record of a button: which states show a character, at which depth
// and with which matrix.
class FButtonRecord {
public:
    virtual void Write(FSWFStream& stream) const = 0;
    virtual ~FButtonRecord() = default;

protected:
    FButtonRecord(bool hitTest, bool down, bool over, bool up, uint16_t characterID, uint16_t depth,
                  FMatrix matrix);
    void WriteCommon(FSWFStream& stream) const;

private:
    bool hitTest;
    bool down;
    bool over;
    bool up;
    uint16_t depth;
    FMatrix matrix;
    uint16_t characterID;
};

// The state record of DefineButton.
class FButtonRecord1 : public FButtonRecord {
public:
    FButtonRecord1(bool hitTest, bool down, bool over, bool up, uint16_t characterID, uint16_t depth,
                   FMatrix matrix)
        : FButtonRecord(hitTest, down, over, up, characterID, depth, matrix) {}
    void Write(FSWFStream& stream) const override;
};

// The state record of DefineButton2, with a colour transform (with alpha).
class FButtonRecord2 : public FButtonRecord {
public:
    FButtonRecord2(bool hitTest, bool down, bool over, bool up, uint16_t characterID, uint16_t depth,
                   FMatrix matrix, std::unique_ptr<FCXForm> colorTransform);
    void Write(FSWFStream& stream) const override;

private:
    std::unique_ptr<FCXForm> colorTransform;
};

// DefineButton (7): state records and one action list run on a click.
class FDTDefineButton : public FDT {
public:
    FDTDefineButton();
    void AddButtonRecord(std::unique_ptr<FButtonRecord1> record);
    void AddAction(std::unique_ptr<FActionRecord> action);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

private:
    uint16_t characterID;
    std::vector<std::unique_ptr<FActionRecord>> actions;
    std::vector<std::unique_ptr<FButtonRecord1>> records;
};

// DefineButton2 (34): state records with colour transforms, and condition
// records that tie actions to transitions.
class FDTDefineButton2 : public FDT {
public:
    explicit FDTDefineButton2(bool trackAsMenu);
    void AddButtonRecord(std::unique_ptr<FButtonRecord2> record);
    void AddCondition(std::unique_ptr<FActionCondition> condition);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

private:
    uint16_t characterID;
    bool trackAsMenu;
    std::vector<std::unique_ptr<FActionCondition>> conditions;
    std::vector<std::unique_ptr<FButtonRecord2>> records;
};

// DefineButtonCxform (23): a colour transform for a DefineButton. Defines no character.
class FDTDefineButtonCxform : public FDT {
public:
    FDTDefineButtonCxform(uint16_t buttonID, std::unique_ptr<FCXForm> colorTransform);
    void Write(FSWFStream& stream) override;

private:
    uint16_t buttonID;
    std::unique_ptr<FCXForm> colorTransform;
};

// DefineButtonSound (17): a sound for each of the transitions OverUpToIdle,
// IdleToOverUp, OverUpToOverDown and OverDownToOverUp. Defines no character.
class FDTDefineButtonSound : public FDT {
public:
    FDTDefineButtonSound(uint16_t buttonID, uint16_t sound0, FSoundInfo info0, uint16_t sound1, FSoundInfo info1,
                         uint16_t sound2, FSoundInfo info2, uint16_t sound3, FSoundInfo info3);
    void Write(FSWFStream& stream) override;

private:
    uint16_t buttonID;
    std::array<uint16_t, 4> soundIDs;
    std::array<FSoundInfo, 4> soundInfos;
};
