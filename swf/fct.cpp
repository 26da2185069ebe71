#include "swf/fct.h"

#include "base/fassert.h"

namespace {

void AppendBody(FSWFStream& stream, FTagCode code, FSWFStream& body)
{
    stream.AppendTag(code, body.Size(), &body);
}

}  // namespace

void FCTDoAction::AddAction(std::unique_ptr<FActionRecord> action)
{
    if (action) actions.push_back(std::move(action));
}

void FCTDoAction::Write(FSWFStream& stream)
{
    FSWFStream body;
    for (const std::unique_ptr<FActionRecord>& action : actions) action->Write(body);
    body.WriteByte(0);  // end of actions
    AppendBody(stream, FTagCode::DoAction, body);
}

void FCTFrameLabel::Write(FSWFStream& stream)
{
    FSWFStream body;
    label.Write(body, true);
    AppendBody(stream, FTagCode::FrameLabel, body);
}

FCTPlaceObject::FCTPlaceObject(uint16_t characterID, uint16_t depth, FMatrix matrix,
                               std::unique_ptr<FCXForm> colorTransform)
    : characterID(characterID), depth(depth), matrix(matrix), _colorTransform(std::move(colorTransform))
{
    F_ASSERT(_colorTransform != nullptr, "_colorTransform");
}

void FCTPlaceObject::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteWord(depth);
    matrix.Write(body);
    _colorTransform->Write(body);
    AppendBody(stream, FTagCode::PlaceObject, body);
}

FCTPlaceObject2::FCTPlaceObject2(bool hasClipDepth, bool hasRatio, bool hasCharacter, bool move,
                                 uint16_t depth, uint16_t characterID, std::unique_ptr<FMatrix> matrix,
                                 std::unique_ptr<FCXForm> colorTransform, uint16_t ratio,
                                 std::unique_ptr<FString> name, uint16_t clipDepth)
    : hasClipDepth(hasClipDepth),
      hasRatio(hasRatio),
      hasCharacter(hasCharacter),
      move(move),
      depth(depth),
      characterID(characterID),
      matrix(std::move(matrix)),
      colorTransform(std::move(colorTransform)),
      ratio(ratio),
      name(std::move(name)),
      clipDepth(clipDepth) {}

void FCTPlaceObject2::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteBits(0, 1);  // no clip actions
    body.WriteBits(hasClipDepth ? 1 : 0, 1);
    body.WriteBits(name ? 1 : 0, 1);
    body.WriteBits(hasRatio ? 1 : 0, 1);
    body.WriteBits(colorTransform ? 1 : 0, 1);
    body.WriteBits(matrix ? 1 : 0, 1);
    body.WriteBits(hasCharacter ? 1 : 0, 1);
    body.WriteBits(move ? 1 : 0, 1);
    body.WriteWord(depth);
    if (hasCharacter) body.WriteWord(characterID);
    if (matrix) matrix->Write(body);
    if (colorTransform) colorTransform->Write(body);
    if (hasRatio) body.WriteWord(ratio);
    if (name) name->Write(body, true);
    if (hasClipDepth) body.WriteWord(clipDepth);
    AppendBody(stream, FTagCode::PlaceObject2, body);
}

void FCTProtect::Write(FSWFStream& stream)
{
    stream.AppendTag(FTagCode::Protect, 0, nullptr);
}

void FCTRemoveObject::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteWord(depth);
    AppendBody(stream, FTagCode::RemoveObject, body);
}

void FCTRemoveObject2::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(depth);
    AppendBody(stream, FTagCode::RemoveObject2, body);
}

FCTSetBackgroundColor::FCTSetBackgroundColor(FColor color) : color(color)
{
    this->color.SetHasAlpha(false);
}

void FCTSetBackgroundColor::Write(FSWFStream& stream)
{
    FSWFStream body;
    color.Write(body);
    AppendBody(stream, FTagCode::SetBackgroundColor, body);
}

void FCTStartSound::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(soundID);
    soundInfo.Write(body);
    AppendBody(stream, FTagCode::StartSound, body);
}
