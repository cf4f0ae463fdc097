#include "app/forms.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

TPendingForm::TPendingForm(const char* name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    hide();
}

TPendingDialog::TPendingDialog(const char* name, const char* caption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(caption);
}

namespace {

// Images the platform style has for the common commands, by index.
QIcon StandardImage(int index) {
    QStyle* style = QApplication::style();
    switch (index) {
        case 0:
            return style->standardIcon(QStyle::SP_FileIcon);
        case 1:
            return style->standardIcon(QStyle::SP_DialogOpenButton);
        case 2:
            return style->standardIcon(QStyle::SP_DialogSaveButton);
        case 3:
            return style->standardIcon(QStyle::SP_FileDialogNewFolder);
        case 4:
            return style->standardIcon(QStyle::SP_FileDialogListView);
        case 12:
            return style->standardIcon(QStyle::SP_ArrowDown);
        case 18:
            return style->standardIcon(QStyle::SP_FileDialogInfoView);
        case 48:
            return style->standardIcon(QStyle::SP_DirHomeIcon);
        case 58:
            return style->standardIcon(QStyle::SP_ComputerIcon);
        case 66:
            return style->standardIcon(QStyle::SP_DesktopIcon);
        case 77:
            return style->standardIcon(QStyle::SP_BrowserReload);
        default:
            return {};
    }
}

// A small distinct square for the images without a standard picture.
QIcon DrawnImage(int index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QColor color = QColor::fromHsv((index * 37) % 360, 150, 200);
    p.setBrush(color);
    p.setPen(color.darker(160));
    p.drawRoundedRect(2, 2, 12, 12, 3, 3);
    return QIcon(pixmap);
}

}  // namespace

TgData::TgData(QObject* parent) : QObject(parent) {
    setObjectName("gData");
    mImages.reserve(kImageCount);
    for (int i = 0; i < kImageCount; ++i) {
        QIcon icon = StandardImage(i);
        mImages.push_back(icon.isNull() ? DrawnImage(i) : icon);
    }
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
