#pragma once

#include <Python.h>

#include <QString>

#include "core/member_value.h"
#include "vorn/py_ref.h"
#include "vorn/weak.h"

// What one look at a watched value found: up to four numbers to plot, and its text.
struct TReading {
    enum class Kind { Text, Number, Vector, Colour, Rotation, Numbers };
    bool found = false;
    Kind kind = Kind::Text;
    int channels = 0;  // 0: the value is no number
    float values[4] = {};
    QString text;
};

// Where a watch reads its value: a member's storage in a runtime object held weakly, a Python
// attribute of an object, or an expression evaluated at each look.
class TWatchTarget {
public:
    TWatchTarget() = default;
    static TWatchTarget Member(IRoot* owner, const mw::MemberValue& value);
    static TWatchTarget Attribute(PyObject* owner, const char* name);
    static TWatchTarget Item(PyObject* owner, PyObject* key);
    static TWatchTarget Expression(PyObject* code);
    // `name` of `owner`: a member of a runtime object, else a Python attribute; an empty target
    // when it has neither. The Python error is cleared.
    static TWatchTarget Named(PyObject* owner, const char* name);

    // Reads the value now; false (nothing found) once its object has gone or it raised.
    bool Read(TReading* out) const;
    bool IsSet() const { return mKind != Kind::None; }
    // The member's storage read directly; false for targets that run Python to read.
    bool IsMember() const { return mKind == Kind::Member; }

private:
    enum class Kind { None, Member, Attribute, Item, Expression };
    bool ReadMember(TReading* out) const;
    bool ReadPythonValue(PyObject* value, TReading* out) const;

    Kind mKind = Kind::None;
    VnWeak<IRoot> mOwner;
    mw::MemberValue mValue;
    PyRef mPython;  // the attribute's owner, or the compiled expression
    PyRef mName;    // the attribute's name, or the item's key
};

namespace watch {

// The dictionary paths and conditions are evaluated in: the modules vorn and app, once there.
PyObject* Globals();
// Resolves a Python path as Copy Python Path makes it; an empty target with the reason when it
// does not resolve now. The Python error is cleared.
TWatchTarget Resolve(const QString& path, QString* why);
// The text of the pending Python error ("ZeroDivisionError: division by zero"), cleared.
QString TakeErrorText();
// Reads runtime objects that hold numbers: a vector, a colour, a rotation (yaw, pitch, roll in
// degrees). False for other objects.
bool ReadNumbers(IRoot* object, TReading* out);
// The reading's numbers as text: "1.5", "(1, 2, 3)".
QString NumbersText(const TReading& reading);
// The name of number `channel` of a reading of `kind`: "x", "g", "yaw", "1"; empty for a single
// number.
QString ChannelName(TReading::Kind kind, int channel);

}  // namespace watch
