#include "app/forms.h"

#include <QAction>
#include <QApplication>

TPendingForm::TPendingForm(const char* name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    hide();
}

TPendingDialog::TPendingDialog(const char* name, const char* caption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(caption);
}

// The pictures live in this static library, which nothing else refers to by name: they are
// registered before the first use, or the linker would leave them out.
static QString ImagePath(const QString& name) {
    static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
    Q_UNUSED(registered);
    return ":/images/" + name + ".svg";
}

QIcon ProgramImage() { return QIcon(ImagePath("program")); }

TgData::TgData(QObject* parent) : QObject(parent) {
    setObjectName("gData");
    mImages.reserve(kImageCount);
    for (int i = 0; i < kImageCount; ++i) mImages.push_back(QIcon(ImagePath(QString::number(i))));
    // forms made earlier name the images of their controls and actions by index; they get the
    // pictures now
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QObject* o : top->findChildren<QObject*>()) {
            const QVariant image = o->property("image");
            if (!image.isValid()) continue;
            if (auto* action = qobject_cast<QAction*>(o))
                action->setIcon(Image(image.toInt()));
            else if (o->isWidgetType())
                o->setProperty("icon", Image(image.toInt()));
        }
    }
}

QIcon TgData::Image(int index) const {
    return index >= 0 && index < mImages.size() ? mImages[index] : QIcon();
}
