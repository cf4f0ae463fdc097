#include "editors/ref_row_editor.h"

#include <cstdio>
#include <cstring>

#include "core/class_id.h"
#include "core/value_text.h"
#include "editors/tm_vorn_pick.h"
#include "shell/ioutput.h"
#include "vorn/pyos.h"

namespace {

// The object's own text for people, when it gives one through IPythonMethods.
bool PythonText(IRoot* object, char* buffer, std::size_t size) {
    VnRef<IPythonMethods> methods = VnQuery<IPythonMethods>(object, 1);
    if (!methods) return false;
    int supplied = 0;
    PyRef text = PyRef::Steal(methods->GetPythonText(&supplied));
    const char* utf8 =
        supplied && text && PyUnicode_Check(text.get()) ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return false;
    }
    mw::CopyText(buffer, size, utf8);
    return true;
}

}  // namespace

TRefRowEditor::TRefRowEditor(const mw::MemberValue& value, TEditorKit& kit, int icon)
    : TRowEditor(value, kit) {
    mIcon = icon;
}

void TRefRowEditor::BeginEdit() {
    auto* dialog = mKit.FormOf<TmVornPick>();
    if (!dialog) return;
    TMemberEdit edit = StartEdit(true);
    dialog->Run(edit);
}

bool TRefRowEditor::Store(IRoot* object) {
    if (!mValue.value || mValue.desc->type != kVnObjectRef) return false;
    TMemberEdit edit = StartEdit(true);
    // refused when the object lacks the member's interface
    return edit.Apply(
        [object](const mw::MemberValue& value) { return mw::StoreMemberObject(value, object); });
}

const char* TRefRowEditor::GetText(char* buffer, std::size_t size) {
    if (!buffer || size == 0) return "";
    IRoot* object = mw::MemberObject(mValue);
    if (object && PythonText(object, buffer, size)) return buffer;
    if (mValue.desc->type == kVnObject) {
        std::snprintf(buffer, size, "%s instance", mw::ClassName(object).c_str());
        return buffer;
    }
    const char* word = object ? "Reference" : "Empty reference";
    if (const VnIID* iid = mw::RequiredInterface(mValue.desc))
        std::snprintf(buffer, size, "%s of type %.*s", word, int(sizeof iid->name), iid->name);
    else
        std::snprintf(buffer, size, "%s of any type", word);
    return buffer;
}
