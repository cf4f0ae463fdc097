#pragma once

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

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage mFrame;
    int mPresented = 0;
    int mShown = 0;
};
