#include "history/TThroughputChart.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRubberBand>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

const QString TThroughputChart::ChartTitle =
    QStringLiteral("Zephyn Connection Throughput Analysis");
const QColor TThroughputChart::LegendColor = QColor(114, 216, 254);
const QColor TThroughputChart::LabelColor = QColor(255, 255, 225);

namespace {

// Distinct colours that read well on the light background and against each
// other; none of them is the legend's or a label's colour.
const QColor Palette[] = {
    QColor(214, 39, 40),  QColor(44, 160, 44), QColor(31, 95, 191), QColor(255, 140, 0),
    QColor(148, 61, 181), QColor(0, 153, 153), QColor(200, 160, 0), QColor(140, 86, 75),
    QColor(227, 79, 168), QColor(75, 75, 75),  QColor(127, 184, 0), QColor(0, 76, 128),
};

const QColor BackgroundColor(255, 255, 255);
const QColor GradientEdge(176, 176, 176);
const QColor WallColor(232, 232, 232);
const QColor GridColor(200, 200, 200);
const QColor AxisColor(64, 64, 64);
const QColor TextColor(0, 0, 0);
const QColor ShadowColor(96, 96, 96);

constexpr double BevelWidth = 4;
constexpr int AnimationMs = 250;
constexpr int DragThreshold = 4;

// 1, 2 or 5 times a power of ten, at least span / ticks.
double NiceStep(double span, double ticks) {
    if (span <= 0 || ticks < 1)
        return 1;
    const double raw = span / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10 * magnitude;
}

QString ValueText(double value, double step) {
    const int decimals = step >= 1 ? 0 : std::min(6, int(std::ceil(-std::log10(step))));
    return QString::number(value, 'f', decimals);
}

QString PointText(const TThroughputChart::TPoint& point) {
    return point.Label + u' ' + QString::number(qint64(std::llround(point.Value)));
}

struct TVisible {
    int First = 0, Last = -1;
};

TVisible VisibleIndices(const TThroughputChart::TLayout& l, int count) {
    TVisible v;
    if (count == 0)
        return v;
    v.First = std::clamp(int(std::floor(l.Range.XMin)), 0, count - 1);
    v.Last = std::clamp(int(std::ceil(l.Range.XMax)) - 1, 0, count - 1);
    return v;
}

QAccessibleInterface* ChartAccessible(const QString& key, QObject* object) {
    if (key == QLatin1String("TThroughputChart") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Chart);
    return nullptr;
}

} // namespace

QPointF TThroughputChart::TLayout::PointAt(double slot, double value) const {
    const double x = Plot.left() + (slot - Range.XMin) / (Range.XMax - Range.XMin) * Plot.width();
    const double y =
        Plot.bottom() - (value - Range.YMin) / (Range.YMax - Range.YMin) * Plot.height();
    return {x, y};
}

std::vector<TThroughputChart::TDrawn> TThroughputChart::DrawnPoints(const TLayout& l) const {
    const std::vector<TPoint>& points = FPoints;
    std::vector<TDrawn> drawn;
    const TVisible v = VisibleIndices(l, int(points.size()));
    if (v.Last < v.First)
        return drawn;
    if (l.SlotWidth() >= 2) {
        drawn.reserve(size_t(v.Last - v.First + 1));
        for (int i = v.First; i <= v.Last; ++i)
            drawn.push_back(
                {l.PointOf(i, 0).x(), points[size_t(i)].Value, points[size_t(i)].Color, i});
        return drawn;
    }
    drawn.reserve(size_t(l.Plot.width()) + 2);
    for (int i = v.First; i <= v.Last; ++i) {
        const double x = std::floor(l.PointOf(i, 0).x()) + 0.5;
        const auto& p = points[size_t(i)];
        if (!drawn.empty() && drawn.back().X == x) {
            if (p.Value > drawn.back().Value)
                drawn.back() = {x, p.Value, p.Color, i};
        } else {
            drawn.push_back({x, p.Value, p.Color, i});
        }
    }
    return drawn;
}

QColor TThroughputChart::AutoColor(int index) {
    return Palette[size_t(index) % std::size(Palette)];
}

TThroughputChart::TThroughputChart(QWidget* parent)
    : QWidget(parent), Series1{QStringLiteral("ThruPutByHistoryItem"), Qt::red, 10},
      Series2{QStringLiteral("BarSeries"), Qt::green, 20}, FAnimation(new QVariantAnimation(this)) {
    static const bool installed = [] {
        QAccessible::installFactory(ChartAccessible);
        return true;
    }();
    (void)installed;
    setObjectName(QStringLiteral("Chart"));
    setAccessibleName(ChartTitle);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Series1.Active = true;
    FAnimation->setDuration(AnimationMs);
    FAnimation->setStartValue(0.0);
    FAnimation->setEndValue(1.0);
    FAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(FAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        FAnimT = v.toDouble();
        update();
    });
}

TThroughputChart::~TThroughputChart() = default;

void TThroughputChart::Changed() {
    if (FUpdating > 0)
        return;
    update();
    // Points added one by one get one description, once the adding is done.
    if (!FDescriptionPending) {
        FDescriptionPending = true;
        QTimer::singleShot(0, this, [this] { UpdateDescription(); });
    }
}

void TThroughputChart::UpdateDescription() {
    FDescriptionPending = false;
    setAccessibleDescription(Description());
}

void TThroughputChart::Clear() {
    FPoints.clear();
    FZoom.reset();
    FAnimation->stop();
    FAnimT = 1;
    Changed();
}

void TThroughputChart::AddPoint(const QString& label, double value) {
    FPoints.push_back({label, value, AutoColor(int(FPoints.size()))});
    Changed();
}

void TThroughputChart::BeginUpdate() {
    ++FUpdating;
}

void TThroughputChart::EndUpdate() {
    if (FUpdating > 0 && --FUpdating == 0) {
        UpdateDescription();
        update();
    }
}

QString TThroughputChart::Description() const {
    QString text;
    for (const TPoint& p : FPoints) {
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += p.Label + QStringLiteral(": ") + QString::number(qint64(std::llround(p.Value))) +
                QStringLiteral(" bytes/sec");
    }
    return text;
}

TThroughputChart::TSeriesKind TThroughputChart::ActiveSeries() const {
    return Series2.Active ? TSeriesKind::Bar : TSeriesKind::Line;
}

void TThroughputChart::SetActiveSeries(TSeriesKind kind) {
    Series1.Active = kind == TSeriesKind::Line;
    Series2.Active = kind == TSeriesKind::Bar;
    update();
}

const TThroughputChart::TSeries& TThroughputChart::Active() const {
    return Series2.Active ? Series2 : Series1;
}

void TThroughputChart::SetView3D(bool on) {
    FView3D = on;
    update();
}

void TThroughputChart::SetLegendVisible(bool on) {
    FLegendVisible = on;
    update();
}

void TThroughputChart::SetGradientVisible(bool on) {
    FGradientVisible = on;
    update();
}

void TThroughputChart::SetLabelsVisible(bool on) {
    Series1.LabelsVisible = on;
    Series2.LabelsVisible = on;
    update();
}

TThroughputChart::TRange TThroughputChart::FullRange() const {
    TRange r;
    r.XMax = std::max<double>(1, double(FPoints.size()));
    double top = 0;
    for (const TPoint& p : FPoints)
        top = std::max(top, p.Value);
    if (top <= 0) {
        r.YMax = 1000;
        return r;
    }
    const double step = NiceStep(top * 1.1, 5);
    r.YMax = std::ceil(top * 1.1 / step) * step;
    return r;
}

TThroughputChart::TRange TThroughputChart::VisibleRange() const {
    if (FAnimT >= 1)
        return FZoom.value_or(FullRange());
    const double t = FAnimT;
    auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return {mix(FAnimFrom.XMin, FAnimTo.XMin), mix(FAnimFrom.XMax, FAnimTo.XMax),
            mix(FAnimFrom.YMin, FAnimTo.YMin), mix(FAnimFrom.YMax, FAnimTo.YMax)};
}

void TThroughputChart::AnimateTo(std::optional<TRange> target) {
    FAnimFrom = VisibleRange();
    FAnimTo = target.value_or(FullRange());
    FZoom = target;
    FAnimation->stop();
    FAnimT = 0;
    FAnimation->start();
    update();
}

void TThroughputChart::ZoomToRect(const QRect& rect) {
    const TLayout l = Layout(QRectF(this->rect()));
    const QRectF r = QRectF(rect).intersected(l.Plot);
    if (r.width() < 1 || r.height() < 1)
        return;
    const TRange& v = l.Range;
    auto slotAt = [&](double x) {
        return v.XMin + (x - l.Plot.left()) / l.Plot.width() * (v.XMax - v.XMin);
    };
    auto valueAt = [&](double y) {
        return v.YMin + (l.Plot.bottom() - y) / l.Plot.height() * (v.YMax - v.YMin);
    };
    AnimateTo(TRange{slotAt(r.left()), slotAt(r.right()), valueAt(r.bottom()), valueAt(r.top())});
}

void TThroughputChart::UndoZoom() {
    if (FZoom)
        AnimateTo(std::nullopt);
}

TThroughputChart::TLayout TThroughputChart::Layout(const QRectF& area, const QFont& font) const {
    TLayout l;
    l.Area = area;
    l.Range = VisibleRange();
    const QFontMetricsF fm(font);
    const QRectF inner = area.adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth);

    double right = inner.right() - 8;
    if (FLegendVisible && !FPoints.empty()) {
        const double rowHeight = fm.height() + 2;
        const TVisible v = VisibleIndices(l, int(FPoints.size()));
        const int fits = std::max(1, int((inner.height() - 24) / rowHeight));
        const int rows = std::min(fits, v.Last - v.First + 1);
        double widest = 0;
        for (int i = v.First; i < v.First + rows; ++i)
            widest = std::max(widest, fm.horizontalAdvance(FPoints[size_t(i)].Label));
        const double width = std::min(widest + 28, inner.width() * 0.3);
        l.Legend = QRectF(inner.right() - 8 - width, inner.top() + 8, width, rows * rowHeight + 8);
        right = l.Legend.left() - 10;
    }
    const double step = NiceStep(l.Range.YMax - l.Range.YMin, 5);
    const double tickWidth = std::max(fm.horizontalAdvance(ValueText(l.Range.YMax, step)),
                                      fm.horizontalAdvance(ValueText(l.Range.YMin, step)));
    const double top = inner.top() + fm.height() / 2 + 4;
    const double bottom = inner.bottom() - 2 * fm.height() - 12;
    // The left axis title wraps onto a second line when the plot is too low for it.
    const int titleLines =
        fm.horizontalAdvance(QStringLiteral("Throughput (bytes/sec)")) > bottom - top ? 2 : 1;
    const double left = inner.left() + 4 + titleLines * fm.height() + 6 + tickWidth + 6;
    l.Depth = FView3D ? std::clamp(std::min(right - left, bottom - top) * 0.12, 4.0, 24.0) : 0;
    l.Plot = QRectF(left, top + l.Depth, std::max(10.0, right - l.Depth - left),
                    std::max(10.0, bottom - top - l.Depth));
    return l;
}

void TThroughputChart::Paint(QPainter& p, const QRectF& area) const {
    const TLayout l = Layout(area, p.font());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    PaintBackground(p, l);
    PaintWalls(p, l);
    p.save();
    p.setClipRect(QRectF(l.Plot.left(), l.Plot.top() - l.Depth, l.Plot.width() + l.Depth + 1,
                         l.Plot.height() + l.Depth + 1));
    // Series and labels share one pass over the points in view.
    const std::vector<TDrawn> drawn = DrawnPoints(l);
    if (ActiveSeries() == TSeriesKind::Bar)
        PaintBars(p, l, drawn);
    else
        PaintLine(p, l, drawn);
    p.restore();
    PaintAxes(p, l);
    if (Active().LabelsVisible) {
        p.save();
        p.setClipRect(area.adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth));
        PaintLabels(p, l, drawn);
        p.restore();
    }
    PaintLegend(p, l);
    p.restore();
}

void TThroughputChart::PaintBackground(QPainter& p, const TLayout& l) const {
    const QRectF& a = l.Area;
    if (FGradientVisible) {
        const double radius = std::hypot(a.width(), a.height()) / 2;
        QRadialGradient gradient(a.center(), radius);
        gradient.setColorAt(0, BackgroundColor);
        gradient.setColorAt(1, GradientEdge);
        p.fillRect(a, gradient);
    } else {
        p.fillRect(a, BackgroundColor);
    }
    // A lowered outer bevel around a raised inner one.
    auto bevel = [&p](const QRectF& r, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(QPen(topLeft, 1));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(QPen(bottomRight, 1));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    };
    const QRectF outer = a.adjusted(0, 0, -1, -1);
    bevel(outer, QColor(128, 128, 128), Qt::white);
    bevel(outer.adjusted(2, 2, -2, -2), Qt::white, QColor(128, 128, 128));
}

void TThroughputChart::PaintWalls(QPainter& p, const TLayout& l) const {
    const QRectF& f = l.Plot;
    const QPointF back(l.Depth, -l.Depth);
    const QFontMetricsF fm(p.font());
    const double step =
        NiceStep(l.Range.YMax - l.Range.YMin, std::max(2.0, f.height() / (fm.height() * 2.5)));
    p.setPen(QPen(AxisColor, 1));
    if (l.Depth > 0) {
        p.setBrush(WallColor);
        p.drawPolygon(QPolygonF{f.bottomLeft(), f.bottomRight(), f.bottomRight() + back,
                                f.bottomLeft() + back});
        p.drawPolygon(
            QPolygonF{f.topLeft(), f.bottomLeft(), f.bottomLeft() + back, f.topLeft() + back});
        p.setBrush(Qt::NoBrush);
        // The back wall is transparent: only its frame and grid are drawn.
        p.drawRect(f.translated(back));
    } else {
        p.setBrush(Qt::NoBrush);
        p.drawRect(f);
    }
    p.setPen(QPen(GridColor, 1, Qt::DotLine));
    for (double v = std::ceil(l.Range.YMin / step) * step; v <= l.Range.YMax + step * 1e-9;
         v += step) {
        const double y = l.PointAt(0, v).y();
        if (y <= f.top() + 0.5 || y >= f.bottom() - 0.5)
            continue;
        if (l.Depth > 0) {
            p.drawLine(QPointF(f.left(), y), QPointF(f.left(), y) + back);
            p.drawLine(QPointF(f.left(), y) + back, QPointF(f.right(), y) + back);
        } else {
            p.drawLine(QPointF(f.left(), y), QPointF(f.right(), y));
        }
    }
}

void TThroughputChart::PaintBars(QPainter& p, const TLayout& l,
                                 const std::vector<TDrawn>& drawn) const {
    const bool columns = l.SlotWidth() < 2;
    const double width = columns ? 1 : l.SlotWidth() * 0.7;
    const double base = l.PointAt(0, std::max(0.0, l.Range.YMin)).y();
    const QPointF back(l.Depth, -l.Depth);
    p.setPen(Qt::NoPen);
    for (const TDrawn& d : drawn) {
        const double top = std::min(base, l.PointAt(0, d.Value).y());
        const QRectF front(d.X - width / 2, top, width, base - top);
        if (l.Depth > 0) {
            // Top and side faces shaded from the bar's colour; drawn left to
            // right, each bar's front covers its left neighbour's side.
            p.setBrush(d.Color.lighter(135));
            p.drawPolygon(QPolygonF{front.topLeft(), front.topLeft() + back,
                                    front.topRight() + back, front.topRight()});
            p.setBrush(d.Color.darker(160));
            p.drawPolygon(QPolygonF{front.topRight(), front.topRight() + back,
                                    front.bottomRight() + back, front.bottomRight()});
        }
        p.fillRect(front, d.Color);
    }
}

void TThroughputChart::PaintLine(QPainter& p, const TLayout& l,
                                 const std::vector<TDrawn>& drawn) const {
    const QPointF back(l.Depth, -l.Depth);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (size_t i = 0; i + 1 < drawn.size(); ++i) {
        const QPointF a(drawn[i].X, l.PointAt(0, drawn[i].Value).y());
        const QPointF b(drawn[i + 1].X, l.PointAt(0, drawn[i + 1].Value).y());
        const QColor& c = drawn[i + 1].Color;
        if (l.Depth > 0) {
            p.setPen(QPen(c.darker(150), 1));
            p.setBrush(c.lighter(120));
            p.drawPolygon(QPolygonF{a, b, b + back, a + back});
        } else {
            p.setPen(QPen(c, 2));
            p.drawLine(a, b);
        }
    }
    if (drawn.size() <= size_t(l.Plot.width()) / 3) {
        // Circular markers, 3 by 3 pixels, on the front edge.
        for (const TDrawn& d : drawn) {
            p.setPen(QPen(d.Color.darker(140), 1));
            p.setBrush(d.Color);
            p.drawEllipse(QPointF(d.X, l.PointAt(0, d.Value).y()), 1.5, 1.5);
        }
    }
}

void TThroughputChart::PaintLabels(QPainter& p, const TLayout& l,
                                   const std::vector<TDrawn>& drawn) const {
    const TSeries& series = Active();
    const QFontMetricsF fm(p.font());
    const bool bars = ActiveSeries() == TSeriesKind::Bar;
    const double base = l.PointAt(0, std::max(0.0, l.Range.YMin)).y();
    QRectF last;
    for (const TDrawn& d : drawn) {
        const double y =
            bars ? std::min(base, l.PointAt(0, d.Value).y()) : l.PointAt(0, d.Value).y();
        if (y < l.Plot.top() - l.Depth - 1 || y > l.Plot.bottom() + 1)
            continue;
        const QPointF anchor = QPointF(d.X, y) + QPointF(l.Depth / 2, -l.Depth / 2);
        const QString text = PointText(FPoints[size_t(d.Index)]);
        const double w = fm.horizontalAdvance(text) + 6, h = fm.height() + 2;
        const QRectF box(anchor.x() - w / 2, anchor.y() - series.ConnectorLength - h, w, h);
        if (!last.isNull() && box.adjusted(-2, 0, 2, 0).intersects(last))
            continue; // labels never cover each other
        last = box;
        p.setPen(QPen(AxisColor, 1));
        p.drawLine(anchor, QPointF(anchor.x(), box.bottom()));
        p.setBrush(LabelColor);
        p.drawRect(box);
        p.setPen(TextColor);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

void TThroughputChart::PaintAxes(QPainter& p, const TLayout& l) const {
    const QRectF& f = l.Plot;
    const QFontMetricsF fm(p.font());
    p.setPen(QPen(AxisColor, 1));
    p.drawLine(f.topLeft(), f.bottomLeft());
    p.drawLine(f.bottomLeft(), f.bottomRight());

    // Left axis: tick values and the title, turned to read upwards.
    const double step =
        NiceStep(l.Range.YMax - l.Range.YMin, std::max(2.0, f.height() / (fm.height() * 2.5)));
    p.setPen(TextColor);
    for (double v = std::ceil(l.Range.YMin / step) * step; v <= l.Range.YMax + step * 1e-9;
         v += step) {
        const double y = l.PointAt(0, v).y();
        const QString text = ValueText(std::abs(v) < step * 1e-9 ? 0 : v, step);
        const double w = fm.horizontalAdvance(text);
        p.drawText(QRectF(f.left() - 6 - w, y - fm.height() / 2, w, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, text);
    }
    const double titleTop = l.Area.top() + BevelWidth + 4;
    p.save();
    p.translate(titleTop, f.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-f.height() / 2, 0, f.height(), fm.height() * 2),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Throughput (bytes/sec)"));
    p.restore();

    // Bottom axis: every n-th record name, so that the names never overlap.
    const TVisible v = VisibleIndices(l, int(FPoints.size()));
    if (v.Last >= v.First) {
        const int count = v.Last - v.First + 1;
        double widest = 0;
        const int samples = std::min(count, 50);
        for (int s = 0; s < samples; ++s) {
            const int i = v.First + int(qint64(s) * count / samples);
            widest = std::max(widest, fm.horizontalAdvance(FPoints[size_t(i)].Label));
        }
        const int every = std::max(1, int(std::ceil((widest + 8) / l.SlotWidth())));
        double lastRight = -1e9;
        for (int i = (v.First + every - 1) / every * every; i <= v.Last; i += every) {
            const double x = l.PointOf(i, 0).x();
            if (x < f.left() - 0.5 || x > f.right() + 0.5)
                continue;
            const QString& text = FPoints[size_t(i)].Label;
            const double w = fm.horizontalAdvance(text);
            if (x - w / 2 < lastRight + 4)
                continue;
            lastRight = x + w / 2;
            p.drawText(QRectF(x - w / 2, f.bottom() + 4, w, fm.height()), Qt::AlignCenter, text);
        }
    }
    p.drawText(QRectF(f.left(), f.bottom() + 6 + fm.height(), f.width(), fm.height()),
               Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("History Item"));
}

void TThroughputChart::PaintLegend(QPainter& p, const TLayout& l) const {
    if (l.Legend.isEmpty())
        return;
    const QFontMetricsF fm(p.font());
    p.fillRect(l.Legend.translated(2, 2), ShadowColor);
    p.fillRect(l.Legend, LegendColor);
    p.setPen(QPen(TextColor, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(l.Legend);
    const double rowHeight = fm.height() + 2;
    const int rows = int((l.Legend.height() - 8) / rowHeight + 0.5);
    const int first = VisibleIndices(l, int(FPoints.size())).First;
    for (int r = 0; r < rows; ++r) {
        const TPoint& point = FPoints[size_t(first + r)];
        const double y = l.Legend.top() + 4 + r * rowHeight;
        const QRectF swatch(l.Legend.left() + 6, y + (rowHeight - 8) / 2, 12, 8);
        p.fillRect(swatch, point.Color);
        p.drawRect(swatch);
        p.drawText(
            QRectF(swatch.right() + 5, y, l.Legend.right() - swatch.right() - 8, rowHeight),
            Qt::AlignLeft | Qt::AlignVCenter,
            fm.elidedText(point.Label, Qt::ElideRight, l.Legend.right() - swatch.right() - 8));
    }
}

QImage TThroughputChart::Image(const QSize& size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setFont(font());
    Paint(p, QRectF(image.rect()));
    return image;
}

void TThroughputChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p, QRectF(rect()));
    if (hasFocus()) {
        // The keyboard focus, inside the bevel.
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(
            QRectF(rect()).adjusted(BevelWidth, BevelWidth, -BevelWidth - 1, -BevelWidth - 1));
    }
}

void TThroughputChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    FDragging = true;
    FDragStart = event->position().toPoint();
    if (!FRubberBand)
        FRubberBand = new QRubberBand(QRubberBand::Rectangle, this);
    FRubberBand->setGeometry(QRect(FDragStart, QSize()));
    FRubberBand->show();
}

void TThroughputChart::mouseMoveEvent(QMouseEvent* event) {
    if (FDragging && FRubberBand)
        FRubberBand->setGeometry(QRect(FDragStart, event->position().toPoint()).normalized());
}

void TThroughputChart::mouseReleaseEvent(QMouseEvent* event) {
    if (!FDragging || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    FDragging = false;
    if (FRubberBand)
        FRubberBand->hide();
    const QPoint end = event->position().toPoint();
    const QPoint delta = end - FDragStart;
    // Upper left to lower right zooms in; any other drag shows everything again.
    if (delta.x() > DragThreshold && delta.y() > DragThreshold)
        ZoomToRect(QRect(FDragStart, end));
    else if (delta.x() < -DragThreshold || delta.y() < -DragThreshold)
        UndoZoom();
}

void TThroughputChart::contextMenuEvent(QContextMenuEvent* event) {
    emit ContextMenuRequested(event->globalPos());
}

void TThroughputChart::keyPressEvent(QKeyEvent* event) {
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        emit ContextMenuRequested(mapToGlobal(rect().center()));
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
