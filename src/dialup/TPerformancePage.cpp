#include "dialup/TPerformancePage.h"
#include "dialup/TRAS.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "platform/TReentryGuard.h"
#include <QPainter>
#include <QPixmap>

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

TPerformancePage::TPerformancePage(TRAS& ras, QWidget* parent) : QWidget(parent), FRAS(ras) {
    setObjectName(QStringLiteral("tabshtPerformance"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        QStringLiteral(
            "This section allows you to see your current performance statistics. To start "
            "collecting data, click the Start button and to stop, click the Stop button. After "
            "you click the Stop button you will be prompted to create a history record with your "
            "current statistical data. Note that you will need to be connected to the internet "
            "via RAS/DUN to utilize this feature of Zephyn. (Connection speed is only available "
            "under Win95/98)"),
        this);
    text->setObjectName(QStringLiteral("lblExplanation"));
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* buttons = new QHBoxLayout;
    auto flat = [this, buttons](const QString& name, const QString& caption,
                                QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(caption);
        b->setIcon(GlyphIcon(icon, palette().color(QPalette::ButtonText)));
        b->setProperty("glyph", int(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::StrongFocus);
        buttons->addWidget(b);
        return b;
    };
    btnStartCollection = flat(QStringLiteral("btnStartCollection"),
                              QStringLiteral("Sta&rt Data Collection"), QStyle::SP_MediaPlay);
    btnStopCollection = flat(QStringLiteral("btnStopCollection"),
                             QStringLiteral("S&top Data Collection"), QStyle::SP_MediaStop);
    btnStopCollection->setEnabled(false);
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* grid = new QGridLayout;
    int row = 0;
    auto pair = [&](const QString& caption, const QString& name, const QString& initial) {
        auto* c = new QLabel(caption, this);
        auto* v = new QLabel(initial, this);
        v->setObjectName(name);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        c->setBuddy(v); // a screen reader reads the caption with the value
        grid->addWidget(c, row, 0);
        grid->addWidget(v, row, 1);
        ++row;
        FCaptions.push_back(c);
        return v;
    };
    lblSpeed = pair(QStringLiteral("Connection Speed:"), QStringLiteral("lblSpeed"),
                    QStringLiteral("not available"));
    lblBytesIn = pair(QStringLiteral("Bytes Received:"), QStringLiteral("lblBytesIn"), "0");
    lblBytesOut = pair(QStringLiteral("Bytes Transmitted:"), QStringLiteral("lblBytesOut"), "0");
    lblAvgIn = pair(QStringLiteral("Average Inbound Throughput:"), QStringLiteral("lblAvgIn"), "0");
    lblAvgOut =
        pair(QStringLiteral("Average Outbound Throughput:"), QStringLiteral("lblAvgOut"), "0");
    lblAvgOverall =
        pair(QStringLiteral("Average Overall Throughput:"), QStringLiteral("lblAvgOverall"), "0");
    lblTime = pair(QStringLiteral("Collection Duration (secs):"), QStringLiteral("lblTime"), "0");
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();
    ShowValueColour();

    PerfTimer = new QTimer(this);
    PerfTimer->setObjectName(QStringLiteral("PerfTimer"));
    PerfTimer->setInterval(1000);
    connect(PerfTimer, &QTimer::timeout, this, TApplication::Guarded([this] { PerfTimerTimer(); }));
    connect(btnStartCollection, &QToolButton::clicked, this,
            TApplication::Guarded([this] { btnStartCollectionClick(); }));
    connect(btnStopCollection, &QToolButton::clicked, this,
            TApplication::Guarded([this] { btnStopCollectionClick(); }));
}

void TPerformancePage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        ShowValueColour();
        // The play and stop glyphs in the text's colour, so that a dark palette shows them.
        for (QToolButton* b : {btnStartCollection, btnStopCollection})
            if (b)
                b->setIcon(GlyphIcon(QStyle::StandardPixmap(b->property("glyph").toInt()),
                                     palette().color(QPalette::ButtonText)));
    }
}

QIcon TPerformancePage::GlyphIcon(QStyle::StandardPixmap glyph, const QColor& colour) {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        const double m = size * 0.2;
        if (glyph == QStyle::SP_MediaPlay)
            p.drawPolygon(
                QPolygonF{QPointF(m, m), QPointF(size - m, size / 2.0), QPointF(m, size - m)});
        else
            p.drawRect(QRectF(m, m, size - 2 * m, size - 2 * m));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void TPerformancePage::ShowValueColour() {
    // Blue values; a lighter blue where the palette is dark, so they stay readable.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    const QColor blue = dark ? QColor(128, 176, 255) : QColor(0, 0, 224);
    for (QLabel* v :
         {lblSpeed, lblBytesIn, lblBytesOut, lblAvgIn, lblAvgOut, lblAvgOverall, lblTime}) {
        QPalette p = v->palette();
        p.setColor(QPalette::WindowText, blue);
        v->setPalette(p);
    }
}

void TPerformancePage::EnableLabels(bool on) {
    for (QLabel* c : FCaptions) {
        c->setEnabled(on);
        c->buddy()->setEnabled(on);
    }
}

bool TPerformancePage::CheckDialUp(TRAS& ras) {
    if (ras.RasAvailable()) {
        if (ras.Platform == 2)
            lblSpeed->setText(QStringLiteral("not available on NT"));
        btnStartCollection->setEnabled(true);
        btnStopCollection->setEnabled(false);
        EnableLabels(true);
        return true;
    }
    MessageDlg(QStringLiteral("RAS/DUN is not installed on your computer. Therefore\r\nperformance "
                              "statistics will not be available using\r\nZephyn. Automatic data "
                              "collection requires RAS/DUN"),
               TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    btnStartCollection->setEnabled(false);
    btnStopCollection->setEnabled(false);
    EnableLabels(false);
    return false;
}

void TPerformancePage::SetValue(QLabel* label, int32_t value) {
    label->setText(QString::number(value));
}

void TPerformancePage::btnStartCollectionClick() {
    FRAS.GetConnections();
    if (FRAS.Connections().empty()) {
        MessageDlg(QStringLiteral("You need to first establish your RAS/DUN connection\r\nbefore "
                                  "you can begin collecting data."),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        return;
    }
    FRAS.OpenConnection(0);
    if (ElapsedSeconds < 1 ||
        MessageDlg(QStringLiteral("Reset collected statistics?"), TMsgDlgType::mtConfirmation,
                   TMsgDlgButtons::mbYesNo) == mrYes) {
        TakeBaseline = true;
        ElapsedSeconds = BytesIn = BytesOut = BaseRecv = BaseXmit = 0;
        for (QLabel* v : {lblBytesIn, lblBytesOut, lblAvgIn, lblAvgOut, lblAvgOverall, lblTime})
            SetValue(v, 0);
        FRAS.ControlStats(true, true);
        FRAS.ResetStats();
    } else {
        TakeBaseline = false;
        FRAS.ControlStats(true, true);
    }
    PerfTimer->start();
    btnStartCollection->setEnabled(false);
    btnStopCollection->setEnabled(true);
}

void TPerformancePage::PerfTimerTimer() {
    // A tick that comes while the last one still runs (a read that lets
    // events through) is skipped, never nested.
    if (FTicking)
        return;
    const TReentryGuard ticking(FTicking);
    FRAS.ReadStats();
    // The read lets events through: a Stop clicked meanwhile has ended the
    // collection, and this tick has nothing more to do.
    if (!PerfTimer->isActive())
        return;
    if (TakeBaseline) {
        TakeBaseline = false;
        BaseRecv = FRAS.StatsRecv;
        BaseXmit = FRAS.StatsXmit;
    }
    ++ElapsedSeconds;
    if (FRAS.Platform != 2)
        lblSpeed->setText(QString::number(FRAS.StatsConn));
    BytesIn = FRAS.StatsRecv - BaseRecv;
    BytesOut = FRAS.StatsXmit - BaseXmit;
    SetValue(lblBytesIn, BytesIn);
    SetValue(lblBytesOut, BytesOut);
    SetValue(lblAvgIn, BytesIn / ElapsedSeconds);
    SetValue(lblAvgOut, BytesOut / ElapsedSeconds);
    SetValue(lblAvgOverall, int32_t((int64_t(BytesIn) + BytesOut) / ElapsedSeconds));
    SetValue(lblTime, ElapsedSeconds);
}

void TPerformancePage::btnStopCollectionClick() {
    PerfTimer->stop();
    FRAS.ResetStats();
    FRAS.ControlStats(false, false);
    btnStartCollection->setEnabled(true);
    btnStopCollection->setEnabled(false);
    FRAS.ReleaseConnection();
    if (MessageDlg(QStringLiteral("Create history record for this collection period?"),
                   TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes &&
        AddHistoryRecord)
        AddHistoryRecord(lblAvgOverall->text().toInt());
}
