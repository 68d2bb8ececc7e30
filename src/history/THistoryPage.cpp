#include "history/THistoryPage.h"
#include "history/TBaselineRecords.h"
#include "history/THistory.h"
#include "history/TfrmHistoryEntry.h"
#include "platform/TApplication.h"
#include "platform/TClock.h"
#include "platform/TConvert.h"
#include "platform/TMessageDlg.h"
#include "platform/TWidgetHints.h"
#include "tcpip/TParameterSet.h"
#include "tcpip/TSettingsInForce.h"
#include "ui_THistoryPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <algorithm>

namespace {

void Inform(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

} // namespace

THistoryPage::THistoryPage(THistory& history, TParameterSet& parameters,
                           TSettingsInForceView& settings, QWidget* parent)
    : QWidget(parent), FHistory(history), FParameters(parameters), FSettings(settings),
      ui(std::make_unique<Ui::THistoryPage>()) {
    ui->setupUi(this);
    QTreeView* list = ui->lvHistory;
    list->setModel(&history);
    QHeaderView* header = list->header();
    // Row order is record order: the headers do not sort.
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    // The widths were designed for an 8-point system font, whose characters
    // average 5 pixels: they grow with the font in use, and never leave a
    // caption cut off.
    const int widths[THistory::ColumnCount] = {125, 75, 60, 50, 50, 40, 75, 75, 75, 75, 300};
    const double scale = std::max(1.0, list->fontMetrics().averageCharWidth() / 5.0);
    for (int c = 0; c < THistory::ColumnCount; ++c)
        header->resizeSection(c, std::max(int(widths[c] * scale), header->sectionSizeHint(c)));
    // Enter on a record does what a double click does.
    list->installEventFilter(this);
    list->viewport()->setCursor(Qt::PointingHandCursor);
    SetHint(list,
            QStringLiteral("Dbl-click to edit. Select multiple entries to show only\r\nselected "
                           "records on the Analysis graphs."));
    SetHint(ui->sbtnNew, QStringLiteral("Click to add new history item."));
    SetHint(ui->sbtnEdit, QStringLiteral("Click to edit selected history item."));
    SetHint(ui->sbtnRemove, QStringLiteral("Click to remove selected history item."));
    SetHint(ui->sbtnUse, QStringLiteral("Click to copy selected history item's settings to\r\nthe "
                                        "settings tab. Then click Save to write them\r\nto your "
                                        "system registry."));

    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            TApplication::Guarded([this] { lvHistorySelectItem(); }));
    connect(&history, &QAbstractItemModel::rowsRemoved, this,
            TApplication::Guarded([this] { lvHistorySelectItem(); }));
    connect(&history, &QAbstractItemModel::modelReset, this,
            TApplication::Guarded([this] { lvHistorySelectItem(); }));
    connect(list, &QTreeView::doubleClicked, this,
            TApplication::Guarded([this] { sbtnEditClick(); }));
    connect(ui->sbtnNew, &QToolButton::clicked, this,
            TApplication::Guarded([this] { sbtnNewClick(); }));
    connect(ui->sbtnEdit, &QToolButton::clicked, this,
            TApplication::Guarded([this] { sbtnEditClick(); }));
    connect(ui->sbtnRemove, &QToolButton::clicked, this,
            TApplication::Guarded([this] { sbtnRemoveClick(); }));
    connect(ui->sbtnUse, &QToolButton::clicked, this,
            TApplication::Guarded([this] { sbtnUseClick(); }));
}

THistoryPage::~THistoryPage() = default;

bool THistoryPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->lvHistory && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            ui->lvHistory->currentIndex().isValid()) {
            TApplication::Guard([this] { sbtnEditClick(); });
            return true;
        }
        // Delete removes the selected record, with Remove's question.
        if (key == Qt::Key_Delete && ui->sbtnRemove->isEnabled()) {
            TApplication::Guard([this] { sbtnRemoveClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QList<int> THistoryPage::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : ui->lvHistory->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void THistoryPage::lvHistorySelectItem() {
    const bool any = ui->lvHistory->selectionModel()->hasSelection();
    ui->sbtnEdit->setEnabled(any);
    ui->sbtnRemove->setEnabled(any);
    ui->sbtnUse->setEnabled(any);
}

int THistoryPage::SingleSelection(const QString& noneText) {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty()) {
        Inform(noneText);
        return -1;
    }
    if (rows.size() > 1) {
        Inform(QStringLiteral("Please select only a single record first"));
        return -1;
    }
    return rows.first();
}

void THistoryPage::AddHistoryRecord(int throughput) {
    HistoryRecord r;
    r.SetEntryName(HistoryDateText(TClock::Now(), true));
    const AdapterProfile* profile =
        FParameters.ProfileCount > 0 ? FParameters.ActiveEntry() : nullptr;
    if (profile) {
        r.SetProfile(profile->KeyName);
        r.SetMaxMTU(profile->MTU);
    } else {
        r.SetProfile(QStringLiteral("<global only>"));
        r.SetMaxMTU(QStringLiteral("-1"));
    }
    r.SetIPMTU(r.MaxMTU());
    const TSettingsInForce s = FSettings.SettingsInForce();
    r.SetRWIN(s.RWIN);
    r.SetMSS(IntToStr(s.MSS));
    r.SetTTL(s.TTL);
    r.SetNDICache(s.NdiCache);
    r.SetMTUDiscover(s.AutoDiscover);
    r.SetBlackHole(s.BlackHole);
    r.SetThroughput(throughput);
    QString comment;
    if (InputQuery(QStringLiteral("Zephyn History Record Comment"),
                   QStringLiteral("Please enter a comment for this record:"), comment))
        r.SetComment(comment.left(255));
    FHistory.AppendHistoryRecord(r);
}

void THistoryPage::sbtnNewClick() {
    TfrmHistoryEntry dialog(FParameters, &FSettings, window());
    if (FParameters.ProfileCount > 0) {
        QStringList names;
        for (int i = 0; i < FParameters.ProfileCount && i < MaxProfiles; ++i)
            names << FParameters.Profiles[i].KeyName;
        dialog.OfferProfiles(names);
    } else {
        dialog.LockProfile();
    }
    dialog.exec();
    if (!dialog.DialogSaved)
        return;
    HistoryRecord r;
    if (FParameters.ProfileCount > 0) {
        const QString profile = dialog.ProfileName();
        r.SetProfile(profile);
        r.SetProfileCopy(profile.left(25));
        r.SetMaxMTU(IntToStr(dialog.MaxMTU()));
    } else {
        r.SetProfile(QStringLiteral("<global only>"));
        r.SetMaxMTU(QStringLiteral("0"));
    }
    FHistory.AppendHistoryRecord(dialog.Record(r));
}

void THistoryPage::sbtnEditClick() {
    const int row = SingleSelection(QStringLiteral("Please select a record first"));
    if (row < 0)
        return;
    TfrmHistoryEntry dialog(FParameters, &FSettings, window());
    dialog.DisableCopySettings();
    dialog.SetRecord(FHistory.Record(row), FHistory.CellText(row, THistory::colMaxMTU));
    if (FParameters.ProfileCount <= 0)
        dialog.LockProfile();
    dialog.exec();
    if (!dialog.DialogSaved || row >= FHistory.Count())
        return;
    // The record itself is changed in place; ProfileCopy stays as it was.
    HistoryRecord r = FHistory.Record(row);
    r.SetProfile(dialog.ProfileName());
    r.SetMaxMTU(IntToStr(dialog.MaxMTU()));
    FHistory.ReplaceRecord(row, dialog.Record(r));
}

void THistoryPage::sbtnRemoveClick() {
    const int row = SingleSelection(QStringLiteral("Please select a record first"));
    if (row < 0)
        return;
    const QString name = FHistory.CellText(row, THistory::colEntryName);
    if (MessageDlg(QStringLiteral("Permanently remove the history entry named\r\n") + name +
                       QStringLiteral("?"),
                   TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrNo)
        return;
    FHistory.RemoveRecord(row);
}

void THistoryPage::sbtnUseClick() {
    const int row = SingleSelection(QStringLiteral("Please select a history record first"));
    if (row < 0)
        return;
    if (ShowSettingsPage)
        ShowSettingsPage();
    const HistoryRecord& record = FHistory.Record(row);
    TSettingsInForce values;
    values.RWIN = record.RWIN();
    values.MSS = StrToIntDef(record.MSS(), 0);
    values.TTL = record.TTL();
    values.NdiCache = record.NDICache();
    values.AutoDiscover = record.MTUDiscover();
    values.BlackHole = record.BlackHole();
    if (!FSettings.UseSettings(record.Profile(), FHistory.CellText(row, THistory::colMaxMTU),
                               values)) {
        // The Settings page is in front all the same: its commands follow it.
        if (PageControl1Change)
            PageControl1Change();
        return;
    }
    Inform(QStringLiteral("The settings have been entered on the settings page.\r\nNote that they "
                          "have NOT yet been changed in your registry\r\nand will not until you "
                          "click on the Save button and then\r\nanswer yes to the confirmation. "
                          "This is for YOUR protection."));
    if (PageControl1Change)
        PageControl1Change();
    FParameters.SettingsChanged = true;
}
