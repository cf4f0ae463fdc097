#pragma once

#include "editors/row_editor.h"
#include "vorn/kalix.h"

// The row of a colour member: a swatch and the channels as bytes, edited in the colour dialog,
// which writes each change into the colour as it is made; Cancel puts the colour back.
class TColorRowEditor : public TRowEditor {
public:
    QString EditorName() const override { return "colour editor"; }
    TColorRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override;
    void Draw(int column, QPainter& painter, const QRect& cell, bool selected) override;
    const char* GetText(char* buffer, std::size_t size) override;

    // The colour the member holds now; empty when a script has put something else there. Asked
    // anew every time, since a script may replace the member's object while the row exists.
    VnRef<IKxColor> Color() const;
    // The object that answers the colour, as the member holds it, or null.
    IRoot* ColorObject() const;
};
