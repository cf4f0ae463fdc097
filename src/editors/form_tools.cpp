#include "editors/form_tools.h"

#include <QDialog>
#include <charconv>

int ExecModalForm(QDialog& form, QWidget* owner) {
    const Qt::WindowFlags flags = form.windowFlags();
    form.setParent(owner, flags);
    const int result = form.exec();
    form.setParent(nullptr, flags);
    return result;
}

std::string ThreeDecimals(double v) {
    char text[400];  // the widest double in fixed notation takes 309 digits before the point
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(text, end) : std::string();
}
