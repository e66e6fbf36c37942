#pragma once

class QFont;
class QString;

// Whether this machine can draw a text: each character must be in the font
// or in some font installed here, which Qt falls back to. Boxes are all a
// missing glyph would show.
class FontCoverage {
public:
    // Format characters (joiners, direction marks, variation selectors)
    // draw nothing and need no glyph; control characters have none.
    static bool canDraw(const QString &text, const QFont &font);
};
