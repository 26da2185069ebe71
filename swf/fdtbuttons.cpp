#include "swf/fdtbuttons.h"

#include "base/fassert.h"

FButtonRecord::FButtonRecord(bool hitTest, bool down, bool over, bool up, uint16_t characterID, uint16_t depth,
                             FMatrix matrix)
    : hitTest(hitTest), down(down), over(over), up(up), depth(depth), matrix(matrix), characterID(characterID) {}

void FButtonRecord::WriteCommon(FSWFStream& stream) const
{
    stream.WriteBits(0, 4);  // reserved
    stream.WriteBits(hitTest ? 1 : 0, 1);
    stream.WriteBits(down ? 1 : 0, 1);
    stream.WriteBits(over ? 1 : 0, 1);
    stream.WriteBits(up ? 1 : 0, 1);
    stream.WriteWord(characterID);
    stream.WriteWord(depth);
    matrix.Write(stream);
}

void FButtonRecord1::Write(FSWFStream& stream) const
{
    WriteCommon(stream);
}

FButtonRecord2::FButtonRecord2(bool hitTest, bool down, bool over, bool up, uint16_t characterID, uint16_t depth,
                               FMatrix matrix, std::unique_ptr<FCXForm> colorTransform)
    : FButtonRecord(hitTest, down, over, up, characterID, depth, matrix), colorTransform(std::move(colorTransform))
{
    F_ASSERT(this->colorTransform != nullptr, "colorTransform");
}

void FButtonRecord2::Write(FSWFStream& stream) const
{
    WriteCommon(stream);
    colorTransform->Write(stream);
}

FDTDefineButton::FDTDefineButton() : characterID(DrawCharacterID()) {}

void FDTDefineButton::AddButtonRecord(std::unique_ptr<FButtonRecord1> record)
{
    records.push_back(std::move(record));
}

void FDTDefineButton::AddAction(std::unique_ptr<FActionRecord> action)
{
    actions.push_back(std::move(action));
}

void FDTDefineButton::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    for (const std::unique_ptr<FButtonRecord1>& record : records) record->Write(body);
    body.WriteByte(0);  // end of records
    for (const std::unique_ptr<FActionRecord>& action : actions) action->Write(body);
    body.WriteByte(0);  // end of actions
    stream.AppendTag(FTagCode::DefineButton, body.Size(), &body);
}

FDTDefineButton2::FDTDefineButton2(bool trackAsMenu) : characterID(DrawCharacterID()), trackAsMenu(trackAsMenu) {}

void FDTDefineButton2::AddButtonRecord(std::unique_ptr<FButtonRecord2> record)
{
    records.push_back(std::move(record));
}

void FDTDefineButton2::AddCondition(std::unique_ptr<FActionCondition> condition)
{
    conditions.push_back(std::move(condition));
}

void FDTDefineButton2::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteByte(trackAsMenu ? 1 : 0);

    FSWFStream stateRecords;
    for (const std::unique_ptr<FButtonRecord2>& record : records) record->Write(stateRecords);
    stateRecords.WriteByte(0);  // end of records

    // The offset counts from its own field to the first condition record; a
    // button without conditions has none, which the format marks with 0.
    body.WriteWord(conditions.empty() ? 0 : stateRecords.Size() + 2);
    body.Append(stateRecords);
    for (size_t i = 0; i < conditions.size(); ++i) {
        if (i + 1 < conditions.size()) {
            conditions[i]->Write(body);
        } else {
            conditions[i]->WriteLast(body);
        }
    }
    stream.AppendTag(FTagCode::DefineButton2, body.Size(), &body);
}

FDTDefineButtonCxform::FDTDefineButtonCxform(uint16_t buttonID, std::unique_ptr<FCXForm> colorTransform)
    : buttonID(buttonID), colorTransform(std::move(colorTransform))
{
    F_ASSERT(this->colorTransform != nullptr, "colorTransform");
}

void FDTDefineButtonCxform::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(buttonID);
    colorTransform->Write(body);
    stream.AppendTag(FTagCode::DefineButtonCxform, body.Size(), &body);
}

FDTDefineButtonSound::FDTDefineButtonSound(uint16_t buttonID, uint16_t sound0, FSoundInfo info0, uint16_t sound1,
                                           FSoundInfo info1, uint16_t sound2, FSoundInfo info2, uint16_t sound3,
                                           FSoundInfo info3)
    : buttonID(buttonID),
      soundIDs{sound0, sound1, sound2, sound3},
      soundInfos{std::move(info0), std::move(info1), std::move(info2), std::move(info3)} {}

void FDTDefineButtonSound::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(buttonID);
    for (size_t i = 0; i < 4; ++i) {
        body.WriteWord(soundIDs[i]);
        soundInfos[i].Write(body);
    }
    stream.AppendTag(FTagCode::DefineButtonSound, body.Size(), &body);
}
