#pragma once

#include <QSize>
#include <QWidget>

class QTextEdit;

// A text window: shows a file, rich text formatted, plain text as it is.
class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(QWidget* parent = nullptr);
    // Loads the file; a file that cannot be read shows why instead of its text.
    void LoadFile(const QString& path);
    QTextEdit* Editor() const { return mEdit; }

    static constexpr qint64 kLargestFile = 64 * 1024 * 1024;
    // The size a new text window opens at, frame and caption included, when the area has room.
    static constexpr QSize kOpenSize{495, 445};

private:
    QTextEdit* mEdit;
};
