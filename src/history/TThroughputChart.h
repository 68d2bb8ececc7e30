#pragma once
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

class QPainter;
class QRubberBand;
class QVariantAnimation;

// The throughput chart: one point per history record, shown as a line or a
// bar series, flat or in 3D. Paint draws the screen, the printed page and the
// images the tests look at, so all three show the same chart.
class TThroughputChart : public QWidget {
    Q_OBJECT
public:
    enum class TSeriesKind { Line, Bar };

    struct TSeries {
        QString Title;
        QColor SeriesColor;  // what a point shows when it has no colour of its own
        int ConnectorLength; // from a point up to its label
        bool LabelsVisible = true;
        bool Active = false;
    };

    struct TPoint {
        QString Label;
        double Value;
        QColor Color;
    };

    // The part of the data in view: x in point slots (point i fills [i, i+1)),
    // y in bytes/sec.
    struct TRange {
        double XMin = 0, XMax = 1, YMin = 0, YMax = 1;
    };

    // Where the chart's parts land in an area.
    struct TLayout {
        QRectF Area;   // the whole chart
        QRectF Plot;   // the front plane of the plot
        QRectF Legend; // empty when the legend is hidden
        double Depth;  // the 3D offset, right and up; 0 when flat
        TRange Range;
        QPointF PointAt(double slot, double value) const;
        // The point's position on the front plane (slot centre, value height).
        QPointF PointOf(int index, double value) const { return PointAt(index + 0.5, value); }
        double SlotWidth() const { return Plot.width() / (Range.XMax - Range.XMin); }
    };

    // The colours the chart is drawn in: as designed on a light palette and
    // on paper, from the palette where it is dark.
    struct TColours {
        QColor Background, GradientEdge, Wall, Grid, Axis, Text, Shadow, Legend, Label, BevelDark,
            BevelLight;
    };
    static TColours DesignedColours();
    static TColours ColoursFor(const QPalette& palette);

    static const QString ChartTitle;
    static const QColor LegendColor;
    static const QColor LabelColor;
    // A value on the left axis, with the locale's digit grouping.
    static QString TickText(double value, double step);
    // The colour the n-th point takes when it has none of its own.
    static QColor AutoColor(int index);

    explicit TThroughputChart(QWidget* parent = nullptr);
    ~TThroughputChart() override;

    TSeries Series1; // the line series
    TSeries Series2; // the bar series

    void Clear();
    // A point of both series with its automatic colour.
    void AddPoint(const QString& label, double value);
    // Collects a run of changes into one repaint and one description update.
    void BeginUpdate();
    void EndUpdate();
    const std::vector<TPoint>& Points() const { return FPoints; }
    // "name: value bytes/sec" for every point, in order, separated by "; ".
    QString Description() const;

    TSeriesKind ActiveSeries() const;
    void SetActiveSeries(TSeriesKind kind);
    bool View3D() const { return FView3D; }
    void SetView3D(bool on);
    bool LegendVisible() const { return FLegendVisible; }
    void SetLegendVisible(bool on);
    bool GradientVisible() const { return FGradientVisible; }
    void SetGradientVisible(bool on);
    void SetLabelsVisible(bool on);

    // The whole data, and what is in view now (moving while a zoom animates).
    TRange FullRange() const;
    TRange VisibleRange() const;
    bool Zoomed() const { return FZoom.has_value(); }
    // Zooms to a rectangle of the widget, animated.
    void ZoomToRect(const QRect& rect);
    void UndoZoom();

    TLayout Layout(const QRectF& area, const QFont& font) const;
    TLayout Layout(const QRectF& area) const { return Layout(area, font()); }
    // A text the chart places: a point's label above it (Anchor: where its
    // connector starts) or a record's name under the bottom axis.
    struct TPlacedText {
        int Index;
        QRectF Box;
        QPointF Anchor;
        QString Text;
    };
    std::vector<TPlacedText> PointLabels(const TLayout& l, const QFont& font) const;
    std::vector<TPlacedText> AxisLabels(const TLayout& l, const QFont& font) const;
    // Draws the whole chart into area with the painter's font, in the
    // palette's colours, or as designed for paper.
    void Paint(QPainter& painter, const QRectF& area, bool paper = false) const;
    // The chart drawn at a size with the widget's font.
    QImage Image(const QSize& size) const;

signals:
    // Right click, the Menu key or Shift+F10.
    void ContextMenuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Changed();
    void UpdateDescription();
    void AnimateTo(std::optional<TRange> target);
    const TSeries& Active() const;
    void PaintBackground(QPainter& p, const TLayout& l) const;
    void PaintWalls(QPainter& p, const TLayout& l) const;
    // What is drawn for one point, or for one pixel column when points are
    // narrower than a pixel (then the column's highest point stands for them).
    struct TDrawn {
        double X;
        double Value;
        QColor Color;
        int Index;
    };
    std::vector<TDrawn> DrawnPoints(const TLayout& l) const;
    void PaintBars(QPainter& p, const TLayout& l, const std::vector<TDrawn>& drawn) const;
    void PaintLine(QPainter& p, const TLayout& l, const std::vector<TDrawn>& drawn) const;
    void PaintLabels(QPainter& p, const TLayout& l) const;
    void PaintAxes(QPainter& p, const TLayout& l) const;
    void PaintLegend(QPainter& p, const TLayout& l) const;

    mutable TColours FColours; // those of the drawing under way
    std::vector<TPoint> FPoints;
    bool FView3D = true;
    bool FLegendVisible = true;
    bool FGradientVisible = true;
    int FUpdating = 0;
    bool FDescriptionPending = false;
    std::optional<TRange> FZoom;
    TRange FAnimFrom, FAnimTo;
    double FAnimT = 1;
    QVariantAnimation* FAnimation;
    QRubberBand* FRubberBand = nullptr;
    QPoint FDragStart;
    bool FDragging = false;
};
