#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include "vorn/kalix.h"

// A widget the render device draws into: each presented frame is copied and shown at the next
// paint, so frames that come faster than the screen refreshes cost one copy each.
class TFrameView : public QWidget, public IKxSurface {
    Q_OBJECT
public:
    explicit TFrameView(QWidget* parent = nullptr);

    void Present(const uint32_t* pixels, int width, int height, int stride) override;
    // Frames the device presented, and paints that showed a frame.
    int Presented() const { return mPresented; }
    int Shown() const { return mShown; }
    // The last frame presented.
    const QImage& Picture() const { return mFrame; }
    // What shows where no frame reaches; repaints when it changes.
    void SetBackground(const QColor& colour);
    QColor Background() const { return mBackground; }

signals:
    // A frame arrived; what draws it may have changed its clear colour too.
    void framePresented();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage mFrame;
    QColor mBackground;
    int mPresented = 0;
    int mShown = 0;
};
