#pragma once

#include <string>

// A font a page's text is drawn in that the PDF does not give: one it does
// not embed (the engine draws it with a font of its own), or one it embeds
// that cannot be loaded.
struct FontSubstitution {
    std::string font;        // as the PDF names it
    std::string substitute;  // the font the text is drawn with
    bool embedded = false;   // embedded, but unreadable
    std::string failure;     // then why, as the engine says (empty when it said nothing)
    // The substitute's licence does not allow embedding its glyphs: its text
    // is drawn as a picture.
    bool asPicture = false;
};
