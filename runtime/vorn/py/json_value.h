#pragma once

#include <Python.h>

#include <nlohmann/json.hpp>
#include <string>

namespace vorn {

// Python values in branch files: exactly what JSON holds (None, bool, int within 64 bits,
// finite float, str, list, dict with str keys; exact types only, so nothing loads back as
// another type), nested at most kJsonValueDepth levels.
constexpr int kJsonValueDepth = 32;

// The value as JSON; false with what cannot be stored, as "holds a VALUE" text, when any part of
// it has no exact JSON form. `where` names the value in that text ("x[2]['a']"). Runs no script
// code: only exact built-in types are looked into.
bool PythonToJson(PyObject* value, const std::string& where, nlohmann::ordered_json* out,
                  std::string* why);

// A new reference to the value `json` stands for, or null with a reason.
PyObject* JsonToPython(const nlohmann::ordered_json& json, std::string* why);

}  // namespace vorn
