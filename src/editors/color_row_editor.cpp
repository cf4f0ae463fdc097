#include "editors/color_row_editor.h"

#include <QPainter>
#include <algorithm>
#include <cstdio>

#include "editors/tm_color_pick.h"
#include "shell/ishell.h"

namespace {
constexpr int kColorIcon = 82;
constexpr int kSwatchInset = 2;
}  // namespace

TColorRowEditor::TColorRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {
    mIcon = kColorIcon;
}

VnRef<IKxColor> TColorRowEditor::Color() const { return VnQuery<IKxColor>(ColorObject()); }

IRoot* TColorRowEditor::ColorObject() const { return mw::MemberObject(mValue); }

const char* TColorRowEditor::GetText(char* buffer, std::size_t size) {
    const VnRef<IKxColor> color = Color();
    if (!color || !buffer || size == 0) return TRowEditor::GetText(buffer, size);
    const float* rgba = color->GetValue();
    std::snprintf(buffer, size, "%.2d %.2d %.2d %.2d", int(rgba[0] * 255), int(rgba[1] * 255),
                  int(rgba[2] * 255), int(rgba[3] * 255));
    return buffer;
}

void TColorRowEditor::Draw(int column, QPainter& painter, const QRect& cell, bool selected) {
    const VnRef<IKxColor> color = Color();
    if (column != 1 || !color) {
        TRowEditor::Draw(column, painter, cell, selected);
        return;
    }
    const int side = std::max(0, cell.height() - 2 * kSwatchInset);
    painter.fillRect(QRect(cell.left() + kSwatchInset, cell.top() + kSwatchInset, side, side),
                     PackedToQColor(PackColor(color->GetValue())));
    TRowEditor::Draw(column, painter, cell.adjusted(kSwatchInset + side, 0, 0, 0), selected);
}

void TColorRowEditor::BeginEdit() {
    TmColorPick* form = mKit.FormOf<TmColorPick>();
    if (!form || !Color()) return;
    TMemberEdit edit = StartEdit();
    form->Run(edit);
}
