#include "editors/ref_row_editor.h"

#include <cstdio>
#include <cstring>

#include "core/class_id.h"
#include "core/value_text.h"
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
    std::snprintf(buffer, size, "%s", utf8);
    return true;
}

}  // namespace

TRefRowEditor::TRefRowEditor(const mw::MemberValue& value, TEditorKit& kit, int icon)
    : TRowEditor(value, kit) {
    mIcon = icon;
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

TChooserRowEditor::TChooserRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {}

const char* TChooserRowEditor::GetText(char* buffer, std::size_t size) {
    for (const VnChoice* c = mw::ChoiceTable(mValue.desc); c && c->name; ++c) {
        const mw::MemberValue choice{mValue.desc, const_cast<unsigned char*>(c->value.bytes)};
        if (mw::CompareValues(choice, mValue) == 0) {
            std::snprintf(buffer, size, "%s", c->name);
            return buffer;
        }
    }
    return mw::ValueToText(mValue, buffer, size);
}
