#include "view3d/frame_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstring>

namespace {
// What shows where no frame reaches: the area outside a rounded size, or before the first frame.
const QColor kBackground(20, 23, 31);
}  // namespace

TFrameView::TFrameView(QWidget* parent) : QWidget(parent), mBackground(kBackground) {
    // every pixel is painted here: Qt need not clear first, which would flicker
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TFrameView::Present(const uint32_t* pixels, int width, int height, int stride) {
    if (!pixels || width <= 0 || height <= 0 || stride < width) return;
    if (mFrame.width() != width || mFrame.height() != height)
        mFrame = QImage(width, height, QImage::Format_RGB32);
    const auto rowBytes = static_cast<size_t>(width) * sizeof(uint32_t);
    for (int y = 0; y < height; ++y)
        std::memcpy(mFrame.scanLine(y), pixels + static_cast<size_t>(y) * stride, rowBytes);
    ++mPresented;
    update();
    emit framePresented();
}

void TFrameView::SetBackground(const QColor& colour) {
    if (colour == mBackground) return;
    mBackground = colour;
    update();
}

void TFrameView::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    const QRect drawn = mFrame.rect();
    if (!mFrame.isNull()) {
        painter.drawImage(0, 0, mFrame);
        ++mShown;
    }
    // only what the frame does not cover, so a resize never blanks the picture
    const QRegion rest = QRegion(e->rect()) - QRegion(mFrame.isNull() ? QRect() : drawn);
    for (const QRect& r : rest) painter.fillRect(r, mBackground);
}
