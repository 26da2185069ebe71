#include "swf/ftagcode.h"

const char* FTagName(FTagCode code)
{
    // A switch without a default: the compiler names any code left out here.
    switch (code) {
    case FTagCode::End: return "End";
    case FTagCode::ShowFrame: return "ShowFrame";
    case FTagCode::DefineShape: return "DefineShape";
    case FTagCode::PlaceObject: return "PlaceObject";
    case FTagCode::RemoveObject: return "RemoveObject";
    case FTagCode::DefineBits: return "DefineBits";
    case FTagCode::DefineButton: return "DefineButton";
    case FTagCode::JPEGTables: return "JPEGTables";
    case FTagCode::SetBackgroundColor: return "SetBackgroundColor";
    case FTagCode::DefineFont: return "DefineFont";
    case FTagCode::DefineText: return "DefineText";
    case FTagCode::DoAction: return "DoAction";
    case FTagCode::DefineFontInfo: return "DefineFontInfo";
    case FTagCode::DefineSound: return "DefineSound";
    case FTagCode::StartSound: return "StartSound";
    case FTagCode::DefineButtonSound: return "DefineButtonSound";
    case FTagCode::SoundStreamHead: return "SoundStreamHead";
    case FTagCode::SoundStreamBlock: return "SoundStreamBlock";
    case FTagCode::DefineBitsLossless: return "DefineBitsLossless";
    case FTagCode::DefineBitsJPEG2: return "DefineBitsJPEG2";
    case FTagCode::DefineShape2: return "DefineShape2";
    case FTagCode::DefineButtonCxform: return "DefineButtonCxform";
    case FTagCode::Protect: return "Protect";
    case FTagCode::PlaceObject2: return "PlaceObject2";
    case FTagCode::RemoveObject2: return "RemoveObject2";
    case FTagCode::DefineShape3: return "DefineShape3";
    case FTagCode::DefineText2: return "DefineText2";
    case FTagCode::DefineButton2: return "DefineButton2";
    case FTagCode::DefineBitsJPEG3: return "DefineBitsJPEG3";
    case FTagCode::DefineBitsLossless2: return "DefineBitsLossless2";
    case FTagCode::DefineEditText: return "DefineEditText";
    case FTagCode::DefineSprite: return "DefineSprite";
    case FTagCode::FrameLabel: return "FrameLabel";
    case FTagCode::SoundStreamHead2: return "SoundStreamHead2";
    case FTagCode::DefineMorphShape: return "DefineMorphShape";
    case FTagCode::DefineFont2: return "DefineFont2";
    }
    return nullptr;
}
