// The one place where a member's editor is chosen: from its type, the interfaces of the object
// it holds and its choice table.
#include <Python.h>

#include "editors/chooser_row_editor.h"
#include "editors/color_row_editor.h"
#include "editors/line_row_editor.h"
#include "editors/py_row_editor.h"
#include "editors/quat_row_editor.h"
#include "editors/ref_row_editor.h"
#include "editors/vector_row_editor.h"
#include "vorn/kalix.h"

namespace {

bool Answers(IRoot* object, const VnIID& iid) {
    void* out = nullptr;
    if (!object || !object->QueryInterface(iid, &out, 1)) return false;
    static_cast<IRoot*>(out)->Release();
    return true;
}

}  // namespace

std::unique_ptr<TRowEditor> CreateRowEditor(const mw::MemberValue& value, TEditorKit& kit) {
    if (mw::IsObjectMember(value)) {
        IRoot* object = mw::MemberObject(value);
        if (Answers(object, IID_IKxColor)) return std::make_unique<TColorRowEditor>(value, kit);
        if (Answers(object, IID_IKxVector)) return std::make_unique<TVectorRowEditor>(value, kit);
        if (Answers(object, IID_IKxQuaternion)) return std::make_unique<TQuatRowEditor>(value, kit);
        return std::make_unique<TRefRowEditor>(value, kit);
    }
    if (mw::ChoiceTable(value.desc)) return std::make_unique<TChooserRowEditor>(value, kit);
    return std::make_unique<TLineRowEditor>(value, kit);
}

std::unique_ptr<TRowEditor> CreatePyRowEditor(PyObject* value, PyObject* container, PyObject* key,
                                              const QString& keyText, bool readOnly,
                                              TEditorKit& kit) {
    return std::make_unique<TPyRowEditor>(value, container, key, keyText, readOnly, kit);
}
