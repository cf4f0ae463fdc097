#include "watch/watch_plot.h"

#include <QLineSeries>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "watch/watch.h"

namespace {

constexpr double kShortestSpan = 0.05;
constexpr double kLongestSpan = 10 * 60;
constexpr double kZoomStep = 1.25;

}  // namespace

TWatchPlot::TWatchPlot(QWidget* parent) : QChartView(parent) {
    setObjectName("mWatchPlot");
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(2, 2, 2, 2));
    mTimeAxis = new QValueAxis;
    mTimeAxis->setTitleText("clock (s)");
    mValueAxis = new QValueAxis;
    mValueAxis->setLabelFormat("%.4g");
    mTimeAxis->setLabelFormat("%.1f");
    chart->addAxis(mTimeAxis, Qt::AlignBottom);
    chart->addAxis(mValueAxis, Qt::AlignLeft);
    for (QLineSeries*& line : mLines) {
        line = new QLineSeries;
        chart->addSeries(line);
        line->attachAxis(mTimeAxis);
        line->attachAxis(mValueAxis);
        line->setVisible(false);
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
}

// Following a clock that has not yet run a whole span, the plot shows that span from 0 rather
// than times before the clock started.
double TWatchPlot::To() const { return mFollow ? std::max(mNow, mSpan) : mEnd; }

double TWatchPlot::From() const { return To() - mSpan; }

int TWatchPlot::PointCount(int channel) const {
    return channel >= 0 && channel < 4 && mLines[channel]->isVisible() ? mLines[channel]->count()
                                                                       : 0;
}

double TWatchPlot::SecondsPerPixel() const {
    const double width = std::max(1.0, chart()->plotArea().width());
    return mSpan / width;
}

void TWatchPlot::Show(const TWatch* watch, double now) {
    mNow = now;
    mTimeAxis->setRange(From(), To());
    Fill(watch);
}

// Each line gets at most two points per pixel column (its least and greatest value there), so
// a long span draws as fast as a short one.
void TWatchPlot::Fill(const TWatch* watch) {
    const TSampleRing* ring = watch ? watch->Ring() : nullptr;
    const int channels = ring ? ring->Channels() : 0;
    const double from = From(), to = To(), bucket = SecondsPerPixel();
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (int c = 0; c < 4; ++c) {
        QList<QPointF> points;
        if (c < channels) {
            std::size_t i = ring->NewestSince(from - bucket);
            while (i < ring->Size() && ring->Time(i) <= to + bucket) {
                const double start = ring->Time(i);
                std::size_t least = i, most = i;
                for (++i; i < ring->Size() && ring->Time(i) < start + bucket; ++i) {
                    if (ring->Value(i, c) < ring->Value(least, c)) least = i;
                    if (ring->Value(i, c) > ring->Value(most, c)) most = i;
                }
                for (std::size_t at : {std::min(least, most), std::max(least, most)}) {
                    points << QPointF(ring->Time(at), ring->Value(at, c));
                    low = std::min(low, double(ring->Value(at, c)));
                    high = std::max(high, double(ring->Value(at, c)));
                    if (least == most) break;
                }
            }
        }
        mLines[c]->replace(points);
        mLines[c]->setVisible(c < channels);
        const QString name = watch ? watch::ChannelName(watch->RingKind(), c) : QString();
        mLines[c]->setName(name.isEmpty() ? QString("value") : name);
    }
    if (low > high) low = 0, high = 1;
    // a value that stays the same gets room around it, so the axis labels differ
    const double margin = high - low > 1e-9 * std::max(1.0, std::fabs(high))
                              ? (high - low) * 0.05
                              : std::max(std::fabs(high) * 0.05, 0.5);
    mValueAxis->setRange(low - margin, high + margin);
}

void TWatchPlot::wheelEvent(QWheelEvent* e) {
    const double factor = e->angleDelta().y() > 0 ? 1 / kZoomStep : kZoomStep;
    const double right = To();
    mSpan = std::clamp(mSpan * factor, kShortestSpan, kLongestSpan);
    if (!mFollow) mEnd = right;
    mTimeAxis->setRange(From(), To());
    emit ViewChanged();
    e->accept();
}

void TWatchPlot::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QChartView::mousePressEvent(e);
    mDragX = static_cast<int>(e->position().x());
    e->accept();
}

void TWatchPlot::mouseMoveEvent(QMouseEvent* e) {
    if (mDragX < 0) return QChartView::mouseMoveEvent(e);
    const int x = static_cast<int>(e->position().x());
    if (mFollow) mEnd = mNow;
    mFollow = false;  // a panned plot stays where it was put
    mEnd -= (x - mDragX) * SecondsPerPixel();
    mDragX = x;
    mTimeAxis->setRange(From(), To());
    emit ViewChanged();
    e->accept();
}

void TWatchPlot::mouseReleaseEvent(QMouseEvent* e) {
    mDragX = -1;
    QChartView::mouseReleaseEvent(e);
}

void TWatchPlot::mouseDoubleClickEvent(QMouseEvent* e) {
    mFollow = true;
    mSpan = kSpanSeconds;
    mTimeAxis->setRange(From(), To());
    emit ViewChanged();
    e->accept();
}
