#include "history/TThroughputChart.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
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
    return TThroughputChart::TickText(value, step);
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

TThroughputChart::TColours TThroughputChart::DesignedColours() {
    return {QColor(255, 255, 255), QColor(176, 176, 176), QColor(232, 232, 232),
            QColor(200, 200, 200), QColor(64, 64, 64),    QColor(0, 0, 0),
            QColor(96, 96, 96),    LegendColor,           LabelColor,
            QColor(128, 128, 128), QColor(255, 255, 255)};
}

TThroughputChart::TColours TThroughputChart::ColoursFor(const QPalette& palette) {
    if (palette.color(QPalette::Window).lightness() >= 128)
        return DesignedColours();
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::WindowText);
    return {base.lighter(150),
            base,
            palette.color(QPalette::Window).lighter(140),
            palette.color(QPalette::Mid),
            text,
            text,
            QColor(0, 0, 0),
            QColor(24, 84, 110),
            QColor(84, 80, 40),
            palette.color(QPalette::Dark),
            palette.color(QPalette::Light)};
}

QString TThroughputChart::TickText(double value, double step) {
    const int decimals = step >= 1 ? 0 : std::min(6, int(std::ceil(-std::log10(step))));
    // In the user's own way of writing numbers: "250,000,000", "250.000.000".
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
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
        // The line is one series drawn as one line: one entry. Bars: one a point.
        const bool line = ActiveSeries() == TSeriesKind::Line;
        const int rows = line ? 1 : std::min(fits, v.Last - v.First + 1);
        double widest = line ? fm.horizontalAdvance(Series1.Title) : 0;
        for (int i = v.First; !line && i < v.First + rows; ++i)
            widest = std::max(widest, fm.horizontalAdvance(FPoints[size_t(i)].Label));
        const double width = std::min(widest + 30, inner.width() / 3);
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

void TThroughputChart::Paint(QPainter& p, const QRectF& area, bool paper) const {
    FColours = paper ? DesignedColours() : ColoursFor(palette());
    const TLayout l = Layout(area, p.font());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    PaintBackground(p, l);
    PaintWalls(p, l);
    p.save();
    // Every series stays inside the plot: its front plane and, in 3D, the
    // room behind it up to the back wall.
    const QPointF back(l.Depth, -l.Depth);
    const QRectF& f = l.Plot;
    QPainterPath volume;
    volume.addPolygon(QPolygonF{f.topLeft(), f.bottomLeft() + QPointF(0, 1),
                                f.bottomRight() + QPointF(1, 1), f.bottomRight() + back + QPointF(1, 0),
                                f.topRight() + back + QPointF(1, 0), f.topLeft() + back});
    p.setClipPath(volume);
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
        PaintLabels(p, l);
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
        gradient.setColorAt(0, FColours.Background);
        gradient.setColorAt(1, FColours.GradientEdge);
        p.fillRect(a, gradient);
    } else {
        p.fillRect(a, FColours.Background);
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
    bevel(outer, FColours.BevelDark, FColours.BevelLight);
    bevel(outer.adjusted(2, 2, -2, -2), FColours.BevelLight, FColours.BevelDark);
}

void TThroughputChart::PaintWalls(QPainter& p, const TLayout& l) const {
    const QRectF& f = l.Plot;
    const QPointF back(l.Depth, -l.Depth);
    const QFontMetricsF fm(p.font());
    const double step =
        NiceStep(l.Range.YMax - l.Range.YMin, std::max(2.0, f.height() / (fm.height() * 2.5)));
    p.setPen(QPen(FColours.Axis, 1));
    if (l.Depth > 0) {
        p.setBrush(FColours.Wall);
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
    p.setPen(QPen(FColours.Grid, 1, Qt::DotLine));
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
    const QRectF& f = l.Plot;
    for (const TDrawn& d : drawn) {
        // A bar that ends below a zoomed floor is out of view, not a slab on it.
        if (l.Range.YMin > 0 && d.Value <= l.Range.YMin)
            continue;
        const double top = std::min(base, l.PointAt(0, d.Value).y());
        const QRectF whole(d.X - width / 2, top, width, base - top);
        // What of it is in view: cut at the plot's sides and top.
        const QRectF front(QPointF(std::max(whole.left(), f.left()), std::max(whole.top(), f.top())),
                           QPointF(std::min(whole.right(), f.right()), whole.bottom()));
        if (front.width() <= 0)
            continue;
        if (l.Depth > 0) {
            // Top and side faces shaded from the bar's colour; drawn left to
            // right, each bar's front covers its left neighbour's side. A face
            // the view cuts off is not drawn.
            if (whole.top() >= f.top()) {
                p.setBrush(d.Color.lighter(135));
                p.drawPolygon(QPolygonF{front.topLeft(), front.topLeft() + back,
                                        front.topRight() + back, front.topRight()});
            }
            if (whole.right() <= f.right()) {
                p.setBrush(d.Color.darker(160));
                p.drawPolygon(QPolygonF{front.topRight(), front.topRight() + back,
                                        front.bottomRight() + back, front.bottomRight()});
            }
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

std::vector<TThroughputChart::TPlacedText> TThroughputChart::PointLabels(const TLayout& l,
                                                                        const QFont& font) const {
    std::vector<TPlacedText> placed;
    const TSeries& series = Active();
    const QFontMetricsF fm(font);
    const bool bars = ActiveSeries() == TSeriesKind::Bar;
    const double base = l.PointAt(0, std::max(0.0, l.Range.YMin)).y();
    const QRectF inside =
        l.Area.adjusted(BevelWidth + 2, BevelWidth + 2, -BevelWidth - 2, -BevelWidth - 2);
    std::vector<QRectF> taken;
    if (!l.Legend.isEmpty())
        taken.push_back(l.Legend.adjusted(-2, -2, 4, 4));
    for (const TDrawn& d : DrawnPoints(l)) {
        const double y =
            bars ? std::min(base, l.PointAt(0, d.Value).y()) : l.PointAt(0, d.Value).y();
        if (y < l.Plot.top() - l.Depth - 1 || y > l.Plot.bottom() + 1 || d.X < l.Plot.left() ||
            d.X > l.Plot.right() || (l.Range.YMin > 0 && d.Value <= l.Range.YMin))
            continue;
        const QPointF anchor = QPointF(d.X, y) + QPointF(l.Depth / 2, -l.Depth / 2);
        const QString text = PointText(FPoints[size_t(d.Index)]);
        const double w = fm.horizontalAdvance(text) + 6, h = fm.height() + 2;
        QRectF box(anchor.x() - w / 2, anchor.y() - series.ConnectorLength - h, w, h);
        // Kept on the chart, beside its connector.
        box.moveLeft(
            std::clamp(box.left(), inside.left(), std::max(inside.left(), inside.right() - w)));
        box.moveTop(std::max(box.top(), inside.top()));
        // Labels never cover each other or the legend: one that would is left out.
        const QRectF margin = box.adjusted(-2, -1, 2, 1);
        if (std::any_of(taken.begin(), taken.end(),
                        [&margin](const QRectF& t) { return t.intersects(margin); }))
            continue;
        taken.push_back(box);
        placed.push_back({d.Index, box, anchor, text});
    }
    return placed;
}

void TThroughputChart::PaintLabels(QPainter& p, const TLayout& l) const {
    for (const TPlacedText& label : PointLabels(l, p.font())) {
        p.setPen(QPen(FColours.Axis, 1));
        p.drawLine(label.Anchor, QPointF(label.Anchor.x(), label.Box.bottom()));
        p.setBrush(FColours.Label);
        p.drawRect(label.Box);
        p.setPen(FColours.Text);
        p.drawText(label.Box, Qt::AlignCenter, label.Text);
    }
}

std::vector<TThroughputChart::TPlacedText> TThroughputChart::AxisLabels(const TLayout& l,
                                                                       const QFont& font) const {
    std::vector<TPlacedText> placed;
    const QRectF& f = l.Plot;
    const QFontMetricsF fm(font);
    const TVisible v = VisibleIndices(l, int(FPoints.size()));
    if (v.Last < v.First)
        return placed;
    const int count = v.Last - v.First + 1;
    double widest = 0;
    const int samples = std::min(count, 50);
    for (int s = 0; s < samples; ++s) {
        const int i = v.First + int(qint64(s) * count / samples);
        widest = std::max(widest, fm.horizontalAdvance(FPoints[size_t(i)].Label));
    }
    // Many points: every n-th is tried, so that the walk stays short.
    const int every = std::max(1, int(std::floor((widest + 8) / l.SlotWidth() / 2)));
    double lastRight = -1e9;
    for (int i = v.First; i <= v.Last; i += every) {
        // A slot the view cuts is named under the part of it in view.
        const double slotLeft = std::max(l.PointAt(i, 0).x(), f.left());
        const double slotRight = std::min(l.PointAt(i + 1, 0).x(), f.right());
        if (slotRight - slotLeft < std::min(l.SlotWidth() * 0.35, 12.0))
            continue;
        const double x = (slotLeft + slotRight) / 2;
        const QString& text = FPoints[size_t(i)].Label;
        const double w = fm.horizontalAdvance(text);
        if (x - w / 2 < lastRight + 4)
            continue;
        lastRight = x + w / 2;
        placed.push_back({i, QRectF(x - w / 2, f.bottom() + 4, w, fm.height()), QPointF(x, f.bottom()), text});
    }
    return placed;
}

void TThroughputChart::PaintAxes(QPainter& p, const TLayout& l) const {
    const QRectF& f = l.Plot;
    const QFontMetricsF fm(p.font());
    p.setPen(QPen(FColours.Axis, 1));
    p.drawLine(f.topLeft(), f.bottomLeft());
    p.drawLine(f.bottomLeft(), f.bottomRight());

    // Left axis: tick values and the title, turned to read upwards.
    const double step =
        NiceStep(l.Range.YMax - l.Range.YMin, std::max(2.0, f.height() / (fm.height() * 2.5)));
    p.setPen(FColours.Text);
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

    // Bottom axis: the record names that have room, never overlapping.
    for (const TPlacedText& label : AxisLabels(l, p.font()))
        p.drawText(label.Box, Qt::AlignCenter, label.Text);
    p.drawText(QRectF(f.left(), f.bottom() + 6 + fm.height(), f.width(), fm.height()),
               Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("History Item"));
}

void TThroughputChart::PaintLegend(QPainter& p, const TLayout& l) const {
    if (l.Legend.isEmpty())
        return;
    const QFontMetricsF fm(p.font());
    p.fillRect(l.Legend.translated(2, 2), FColours.Shadow);
    p.fillRect(l.Legend, FColours.Legend);
    p.setPen(QPen(FColours.Text, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(l.Legend);
    const double rowHeight = fm.height() + 2;
    const int rows = int((l.Legend.height() - 8) / rowHeight + 0.5);
    const int first = VisibleIndices(l, int(FPoints.size())).First;
    const bool line = ActiveSeries() == TSeriesKind::Line;
    for (int r = 0; r < rows; ++r) {
        const QString& name = line ? Series1.Title : FPoints[size_t(first + r)].Label;
        const QColor colour = line ? Series1.SeriesColor : FPoints[size_t(first + r)].Color;
        const double y = l.Legend.top() + 4 + r * rowHeight;
        const QRectF swatch(l.Legend.left() + 6, y + (rowHeight - 8) / 2, 12, 8);
        p.fillRect(swatch, colour);
        p.drawRect(swatch);
        // A name too long keeps its start and its end ("09 Dec 2026 … 02:31:10").
        const double room = l.Legend.right() - swatch.right() - 8;
        p.drawText(QRectF(swatch.right() + 5, y, room, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(name, Qt::ElideMiddle, room));
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
