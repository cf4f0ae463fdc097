#pragma once

#include <QChartView>

class QLineSeries;
class QValueAxis;
class TWatch;

// The plot of one watch over the clock: one line per number, the last kSpanSeconds by default,
// following the clock. The wheel zooms the time axis, a left drag pans it, a double click goes
// back to following the clock.
class TWatchPlot : public QChartView {
    Q_OBJECT
public:
    static constexpr double kSpanSeconds = 30;

    explicit TWatchPlot(QWidget* parent = nullptr);

    // Draws `watch` (null: nothing) with the clock at `now`.
    void Show(const TWatch* watch, double now);
    bool Following() const { return mFollow; }
    double Span() const { return mSpan; }
    // The time range shown.
    double From() const;
    double To() const;
    // Points the line of number `channel` has, for tests.
    int PointCount(int channel) const;

signals:
    // The user zoomed or panned: the plot wants drawing again.
    void ViewChanged();

protected:
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void Fill(const TWatch* watch);
    double SecondsPerPixel() const;

    QLineSeries* mLines[4] = {};
    QValueAxis* mTimeAxis = nullptr;
    QValueAxis* mValueAxis = nullptr;
    bool mFollow = true;
    double mSpan = kSpanSeconds;
    double mEnd = 0;  // the right edge's time
    double mNow = 0;
    int mDragX = -1;
};
