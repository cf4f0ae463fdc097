#pragma once

#include <string>

class QDialog;
class QWidget;

// Shows `form` modally over `owner` (none: on its own) and gives it back to no parent after, as
// the start-up code owns the form, not the window it shows over.
int ExecModalForm(QDialog& form, QWidget* owner);

// `v` with three decimals and "." as the decimal point, whatever the user's locale says.
std::string ThreeDecimals(double v);
