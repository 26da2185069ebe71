#include "hf/hftext.h"

#include <cstdio>
#include <utility>

#include "hf/hfmovie.h"
#include "swf/fassert.h"
#include "swf/fdttext.h"

namespace {

// The field's layout block: left aligned, no margins or indent, and 2 pixels
// between lines.
constexpr int16_t kEditTextLeading = 40;

}  // namespace

HFEditText::HFEditText(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, std::string text)
    : HFShape(xmin, ymin, xmax, ymax),
      textColor(std::make_unique<FColor>(0, 0, 0, 255)),
      text(std::make_unique<FString>(std::move(text)))
{
}

HFEditText::~HFEditText() = default;

void HFEditText::SetTextColor(const FColor& color)
{
    textColor = std::make_unique<FColor>(color);
}

void HFEditText::SetText(std::string text)
{
    this->text = std::make_unique<FString>(std::move(text));
}

std::string HFEditText::VariableName() const
{
    // Four 32-bit values with signs, a 16-bit depth and the prefix stay well
    // inside the buffer.
    char name[96];
    std::snprintf(name, sizeof name, "TextField_%ld_%ld_%ld_%ld_%d", static_cast<long>(bounds.XMin()),
                  static_cast<long>(bounds.YMin()), static_cast<long>(bounds.XMax()),
                  static_cast<long>(bounds.YMax()), static_cast<int>(Depth()));
    return name;
}

void HFEditText::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    F_ASSERT(textColor && text,
             "textColor && text (an edit text's colour and text went to its first tag; "
             "set both again before adding it again)");

    auto tag = std::make_unique<FDTDefineEditText>(
        bounds, /*hasFont*/ false, /*hasMaxLength*/ false, /*hasTextColor*/ true,
        /*readOnly*/ !editable, /*password*/ false, /*multiline*/ false, wordWrap,
        /*hasText*/ true, /*useOutlines*/ false, /*border*/ true, /*noSelect*/ false,
        /*hasLayout*/ true, /*fontID*/ 0, fontHeight, *textColor, /*maxLength*/ 0,
        FEditTextAlign::Left, /*leftMargin*/ 0, /*rightMargin*/ 0, /*indent*/ 0, kEditTextLeading,
        FString(VariableName()), std::move(*text));
    // The tag holds the colour and the text now.
    textColor.reset();
    text.reset();

    SetID(tag->ID());
    frame.Tags().push_back(std::move(tag));
    defined = true;
    Place(frame, movie);
}
