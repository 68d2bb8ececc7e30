#include "settings/TSettingsPage.h"
#include "platform/TApplication.h"
#include "platform/TConvert.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "platform/TRegistryStore.h"
#include "platform/TWidgetHints.h"
#include "tcpip/TParameterSet.h"
#include "ui_TSettingsPage.h"

#include <QFocusEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <algorithm>

TSettingsPage::TSettingsPage(TParameterSet& model, QWidget* parent)
    : QWidget(parent), FModel(model), ui(std::make_unique<Ui::TSettingsPage>()) {
    ui->setupUi(this);
    // At most six digit positions.
    ui->ebCustomMTU->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,6}")), ui->ebCustomMTU));
    ui->ebCustomMTU->setFixedWidth(
        ui->ebCustomMTU->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    ui->ebCustomMTU->setEnabled(false);
    ui->ebCustomMTU->installEventFilter(this);
    for (QRadioButton* radio : ui->RadioGroup1->findChildren<QRadioButton*>())
        radio->installEventFilter(this);
    ui->seMSS->setMinimumWidth(
        ui->seMSS->fontMetrics().horizontalAdvance(QStringLiteral("999999")) + 28);
    ui->ebRWIN->setMinimumWidth(
        ui->ebRWIN->fontMetrics().horizontalAdvance(QStringLiteral("99999")) + 10);
    ui->ebRWIN->setMaximumWidth(ui->ebRWIN->minimumWidth() + 20);
    SetupHints();
    ShowRegistrySource();
    UpdateMinimumHeight();

    SyncProfileItems();
    connect(&FModel, &TParameterSet::ProfileItemsChanged, this, &TSettingsPage::SyncProfileItems);
    connect(&FModel, &TParameterSet::ActiveProfileChanged, this, &TSettingsPage::SyncActiveProfile);
    ConnectHandlers();
}

TSettingsPage::~TSettingsPage() = default;

bool TSettingsPage::CalcAllowed() const {
    return !ui->radioRemoveMTU->isChecked();
}

void TSettingsPage::FocusActiveProfile() {
    if (ui->cbActiveProfile->isEnabled())
        ui->cbActiveProfile->setFocus(Qt::OtherFocusReason);
}

void TSettingsPage::ShowRegistrySource() {
    // Which registry Save writes, always in sight and whole, wrapped where
    // it must be; a registry that Save will not write says so first.
    THive& hive = TRegistryStore::Instance().Hive(THKey::HKEY_LOCAL_MACHINE);
    QString reason;
    try {
        reason = hive.ReadOnlyReason();
    } catch (const Exception&) {
        reason.clear(); // a registry that cannot be read stopped the start
    }
    QString text = QStringLiteral("Registry: ") + TRegistryStore::Instance().MachineDescription();
    if (!reason.isEmpty())
        text = QStringLiteral("Read-only: ") +
               reason.section(QStringLiteral("\r\n\r\n"), 0, 0).replace(QStringLiteral("\r\n"),
                                                                     QStringLiteral(" ")) +
               u' ' + text;
    QLabel* label = ui->lblRegistrySource;
    label->setToolTip(text);
    label->setAccessibleDescription(text);
    // A path has no spaces: it may break after each of its slashes.
    QString shown = text;
    shown.replace(u'/', QStringLiteral("/\u200B"));
    label->setText(shown);
    UpdateMinimumHeight();
}

void TSettingsPage::UpdateMinimumHeight() {
    // The wrapped explanation needs more lines the narrower the page is; the
    // main window does not ask its pages for that, so the page says it.
    setMinimumHeight(0);
    const int width = layout()->minimumSize().width();
    setMinimumHeight(layout()->totalHeightForWidth(width));
}

void TSettingsPage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        UpdateMinimumHeight();
}

void TSettingsPage::SetupHints() {
    SetHint(ui->cbAutoDiscover,
            QStringLiteral("Path MTU discovery. Save writes it on or off.\r\nWhen the registry "
                           "holds no value for it, the box shows unticked,\r\nbut Windows then "
                           "uses its default (on)."));
    SetHint(ui->cbActiveProfile,
            QStringLiteral("Available Dialup Networking (DUN) 'profiles' found to be\r\nconfigured "
                           "on your system for TCP/IP."));
    SetHint(ui->radioRemoveMTU,
            QStringLiteral("Choose this to remove the MTU registry entry completely."));
    const QString careful = QStringLiteral(
        "Use caution when setting to non-standard values. It may work\r\nfor you, but it also may "
        "make your connection unuseable.");
    SetHint(ui->radioCustomMTU, careful);
    SetHint(ui->ebCustomMTU, careful);
    SetHint(ui->ebRWIN, QStringLiteral("Current ReceiveWindow setting. Use the bar above to "
                                       "change\r\nthe multiplier (to the current MSS setting) and "
                                       "recalculate."));
    ui->ebIPAddress->setAccessibleDescription(
        QStringLiteral("The address of the displayed profile"));
}

// Radio buttons, check boxes, the spin edit and the track bar run their
// handlers for every change, the program's as well as the user's; the lists
// run theirs only for the user's choice.
void TSettingsPage::ConnectHandlers() {
    connect(ui->cbActiveProfile, &QComboBox::activated, this, [this](int index) {
        TApplication::Guard([&] {
            FModel.SetActiveProfile(index);
            cbActiveProfileChange();
        });
    });
    auto onSelected = [this](QRadioButton* radio, std::function<void()> fn) {
        connect(radio, &QRadioButton::toggled, this, [fn](bool on) {
            if (on)
                TApplication::Guard(fn);
        });
    };
    onSelected(ui->radioRemoveMTU, [this] { radioRemoveMTUClick(); });
    onSelected(ui->radio552, [this] { radioFixedMTUClick(QStringLiteral("552")); });
    onSelected(ui->radio576, [this] { radioFixedMTUClick(QStringLiteral("576")); });
    onSelected(ui->radio1002, [this] { radioFixedMTUClick(QStringLiteral("1002")); });
    onSelected(ui->radio1500, [this] { radioFixedMTUClick(QStringLiteral("1500")); });
    onSelected(ui->radioCustomMTU, [this] { radioCustomMTUClick(); });
    // Its mnemonic once more, with Custom already selected, goes to the number,
    // so that the digits typed next land there.
    connect(ui->radioCustomMTU, &QRadioButton::clicked, this, [this] {
        if (ui->radioCustomMTU->isChecked() && ui->ebCustomMTU->isEnabled() &&
            ui->ebCustomMTU->isVisible() && !ui->ebCustomMTU->hasFocus())
            ui->ebCustomMTU->setFocus(Qt::ShortcutFocusReason);
    });
    connect(ui->tbRWIN, &QSlider::valueChanged, this, Handler([this] { tbRWINChange(); }));
    connect(ui->seMSS, &QSpinBox::valueChanged, this, Handler([this] { ebMSSChange(); }));
    connect(ui->cbTTL, &QComboBox::activated, this, Handler([this] { cbTTLChange(); }));
    connect(ui->cbAutoDiscover, &QCheckBox::toggled, this,
            Handler([this] { cbAutoDiscoverClick(); }));
    connect(ui->cbBlackHole, &QCheckBox::toggled, this, Handler([this] { cbBlackHoleClick(); }));
    connect(ui->cbNdiCache, &QComboBox::activated, this, Handler([this] { cbNdiCacheChange(); }));
}

bool TSettingsPage::eventFilter(QObject* watched, QEvent* event) {
    // Tab into the MTU group lands on the selected button, as users expect of
    // a radio group; the arrow keys move the selection within it.
    if (event->type() == QEvent::FocusIn && watched != ui->ebCustomMTU) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* radio = static_cast<QRadioButton*>(watched);
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
            !radio->isChecked()) {
            for (QRadioButton* other : ui->RadioGroup1->findChildren<QRadioButton*>())
                if (other->isChecked() && other->isEnabled()) {
                    QTimer::singleShot(0, other, [other, reason] { other->setFocus(reason); });
                    break;
                }
        }
    }
    if (watched == ui->ebCustomMTU &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        // Entering and leaving the edit, not the window losing or regaining
        // activation (a message box, another program).
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (event->type() == QEvent::FocusIn)
                TApplication::Guard([this] { ebCustomMTUEnter(); });
            else
                TApplication::Guard([this] { ebCustomMTUExit(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TSettingsPage::SyncProfileItems() {
    QSignalBlocker block(ui->cbActiveProfile);
    ui->cbActiveProfile->clear();
    ui->cbActiveProfile->addItems(FModel.ProfileItems());
    ui->cbActiveProfile->setCurrentIndex(FModel.ActiveProfile());
}

void TSettingsPage::SyncActiveProfile(int index) {
    QSignalBlocker block(ui->cbActiveProfile);
    ui->cbActiveProfile->setCurrentIndex(index);
}

int TSettingsPage::ListItem(int value, std::initializer_list<int> items) {
    int index = 0;
    for (int item : items) {
        if (item == value)
            return index;
        ++index;
    }
    return -1;
}

QRadioButton* TSettingsPage::MTURadio(int mtu) const {
    switch (mtu) {
    case 552:
        return ui->radio552;
    case 576:
        return ui->radio576;
    case 1002:
        return ui->radio1002;
    case 1500:
        return ui->radio1500;
    case -1:
        return ui->radioRemoveMTU;
    default:
        return nullptr; // a custom MTU
    }
}

void TSettingsPage::Check(QAbstractButton* button, bool checked) {
    TApplication::SetFromCode([&] { button->setChecked(checked); });
}

void TSettingsPage::SetSpinValue(QSpinBox* spin, int value) {
    TApplication::SetFromCode([&] { spin->setValue(value); });
}

void TSettingsPage::SetTrackPosition(QSlider* slider, int position) {
    TApplication::SetFromCode([&] { slider->setValue(position); });
}

void TSettingsPage::SetCalcEnabled(bool enabled) {
    if (FCalc)
        FCalc->setEnabled(enabled);
}

void TSettingsPage::StoreMTU(AdapterProfile& profile, const QString& mtu, const QString& ipmtu) {
    profile.MTU = mtu;
    if (FModel.IPMTUInUse)
        profile.IPMTU = ipmtu;
}

void TSettingsPage::PrepareStartupState() {
    if (FModel.Platform == WinNT) {
        FModel.NdiCacheSize = QStringLiteral("-2");
        ui->lblNdiCache->setEnabled(false);
        ui->cbNdiCache->setEnabled(false);
        ui->cbNdiCache->setCurrentIndex(-1);
    } else {
        const QString& ndi = FModel.NdiCacheSize;
        ui->cbNdiCache->setCurrentIndex(ndi == QLatin1String("16")   ? 1
                                        : ndi == QLatin1String("32") ? 2
                                        : ndi == QLatin1String("64") ? 3
                                                                     : 0);
    }
    if (FModel.ProfileCount == 0) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 ui->GroupBox1, ui->Label1, ui->Label2, ui->Label3, ui->cbActiveProfile,
                 ui->ebIPAddress, ui->RadioGroup1, ui->radioRemoveMTU, ui->radio552, ui->radio576,
                 ui->radio1002, ui->radio1500, ui->radioCustomMTU, ui->ebCustomMTU})
            w->setEnabled(false);
        SetCalcEnabled(false);
    }
}

void TSettingsPage::cbActiveProfileChange() {
    if (FModel.ProfileCount > 0) {
        int index = FModel.ActiveProfile();
        if (index >= 0 && index < MaxProfiles && FModel.Profiles[index].KeyName.isEmpty() &&
            index + 1 < FModel.ProfileItems().size())
            FModel.SetActiveProfile(++index);
        if (AdapterProfile* profile = FModel.ActiveEntry()) {
            ui->ebIPAddress->setText(profile->IPAddress);
            if (profile->MTU.isEmpty())
                profile->MTU = QStringLiteral("-1");
            if (QRadioButton* radio = MTURadio(StrToInt(profile->MTU))) {
                Check(radio, true);
                SetCalcEnabled(radio != ui->radioRemoveMTU);
            } else {
                Check(ui->radioCustomMTU, true);
                ui->ebCustomMTU->setText(profile->MTU);
                SetCalcEnabled(true);
            }
            if (!ui->radioCustomMTU->isChecked()) {
                ui->ebCustomMTU->clear();
                ui->ebCustomMTU->setEnabled(false);
            }
        }
    }

    SetSpinValue(ui->seMSS, StrToIntDef(FModel.MSS, 0));
    ui->ebRWIN->setText(FModel.RWIN);

    if (FModel.MSS.isEmpty())
        SetTrackPosition(ui->tbRWIN, 1);
    else if (FModel.MSS == QLatin1String("0"))
        SetTrackPosition(ui->tbRWIN, 4);
    // The first move may have recalculated RWIN.
    const QString rwin = FModel.RWIN;
    const QString mss = FModel.MSS;
    if (rwin == QLatin1String("0") || mss.isEmpty() || mss == QLatin1String("0")) {
        SetTrackPosition(ui->tbRWIN, 1);
    } else {
        const qint64 divisor = StrToInt(mss);
        const qint64 dividend = StrToInt(rwin);
        // An MSS such as "00" reads as zero without being "0".
        if (divisor == 0)
            throw Exception(QStringLiteral("Division by zero"));
        SetTrackPosition(ui->tbRWIN, int(std::clamp<qint64>(dividend / divisor, -1, 9)));
    }

    // Any other TTL shows as "0"; any other cache size leaves the list alone.
    const int ttl = ListItem(StrToInt(FModel.TTL), {0, 32, 64, 128});
    ui->cbTTL->setCurrentIndex(ttl < 0 ? 0 : ttl);
    if (FModel.Platform != WinNT) {
        const int ndi = ListItem(StrToInt(FModel.NdiCacheSize), {0, 16, 32, 64});
        if (ndi >= 0)
            ui->cbNdiCache->setCurrentIndex(ndi);
    }

    Check(ui->cbAutoDiscover, FModel.AutoDiscover);
    Check(ui->cbBlackHole, FModel.BlackHole);
}

void TSettingsPage::radioRemoveMTUClick() {
    if (FModel.ProfileCount <= 0)
        return;
    if (AdapterProfile* profile = FModel.ActiveEntry())
        StoreMTU(*profile, QStringLiteral("-1"), QStringLiteral("0"));
    ui->ebCustomMTU->setEnabled(false);
    SetCalcEnabled(false);
    FModel.SettingsChanged = true;
}

void TSettingsPage::radioFixedMTUClick(const QString& mtu) {
    if (FModel.ProfileCount <= 0)
        return;
    if (AdapterProfile* profile = FModel.ActiveEntry())
        StoreMTU(*profile, mtu, mtu);
    ui->ebCustomMTU->setEnabled(false);
    SetCalcEnabled(true);
    FModel.SettingsChanged = true;
}

void TSettingsPage::radioCustomMTUClick() {
    if (FModel.ProfileCount < 1)
        return;
    ui->ebCustomMTU->setEnabled(true);
    if (AdapterProfile* profile = FModel.ActiveEntry())
        ui->ebCustomMTU->setText(profile->MTU);
    // Only a visible edit takes the focus; on another page it stays where it is.
    if (ui->ebCustomMTU->isVisible())
        ui->ebCustomMTU->setFocus(Qt::OtherFocusReason);
    SetCalcEnabled(true);
    FModel.SettingsChanged = true;
}

void TSettingsPage::ebCustomMTUEnter() {
    ui->ebCustomMTU->selectAll();
    // A mouse click places the cursor after the focus arrives; select again then.
    QTimer::singleShot(0, ui->ebCustomMTU, [edit = ui->ebCustomMTU] {
        if (edit->hasFocus())
            edit->selectAll();
    });
}

TSettingsInForce TSettingsPage::SettingsInForce() const {
    TSettingsInForce s;
    s.RWIN = ui->ebRWIN->text();
    s.MSS = ui->seMSS->value();
    s.TTL = ui->cbTTL->currentText();
    s.NdiCache = FModel.Platform == WinNT ? QStringLiteral("-2") : ui->cbNdiCache->currentText();
    s.AutoDiscover = ui->cbAutoDiscover->isChecked();
    s.BlackHole = ui->cbBlackHole->isChecked();
    return s;
}

bool TSettingsPage::UseSettings(const QString& profileName, const QString& mtu,
                                const TSettingsInForce& values) {
    if (FModel.ProfileCount > 0) {
        const QString name = (FModel.Platform == WinNT ? QStringLiteral("..\\Tcpip\\")
                                                       : QStringLiteral("..\\NetTrans\\")) +
                             profileName;
        const int index = FModel.ProfileItems().indexOf(QRegularExpression(
            QRegularExpression::escape(name), QRegularExpression::CaseInsensitiveOption));
        if (index < 0 || index >= MaxProfiles) {
            MessageDlg(QStringLiteral("Saved profile (") + name +
                           QStringLiteral(") no\r\nlonger exists on your system."),
                       TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
            return false;
        }
        FModel.SetActiveProfile(index);
        AdapterProfile& profile = FModel.Profiles[index];
        ui->ebIPAddress->setText(profile.IPAddress);
        if (QRadioButton* radio = MTURadio(StrToInt(mtu))) {
            Check(radio, true);
            // A button that was already checked runs no handler: the fixed
            // MTU goes into the newly selected profile all the same, so that
            // Save writes what the page shows.
            StoreMTU(profile, mtu.trimmed(), mtu.trimmed());
        } else {
            Check(ui->radioCustomMTU, true);
            ui->ebCustomMTU->setText(mtu);
            // Shown means used: the custom MTU goes into the model as leaving
            // the edit would put it there, so Save writes what the page shows.
            StoreMTU(profile, mtu.trimmed(), mtu.trimmed());
        }
    }
    // These three run no handler; the model takes the values directly so that
    // Save writes what the page shows.
    ui->ebRWIN->setText(values.RWIN);
    FModel.RWIN = values.RWIN;
    SetSpinValue(ui->seMSS, values.MSS);
    // Any other TTL clears the selection.
    ui->cbTTL->setCurrentIndex(ListItem(StrToInt(values.TTL), {0, 32, 64, 128}));
    FModel.TTL = values.TTL;
    Check(ui->cbAutoDiscover, values.AutoDiscover);
    Check(ui->cbBlackHole, values.BlackHole);
    if (FModel.Platform != WinNT) {
        const int item = ListItem(StrToInt(values.NdiCache), {0, 16, 32, 64});
        if (item >= 0) {
            ui->cbNdiCache->setCurrentIndex(item);
            FModel.NdiCacheSize = ui->cbNdiCache->currentText();
        }
    }
    return true;
}

void TSettingsPage::CommitPendingEdit() {
    // Whether or not the edit still has the focus: a mnemonic presses its
    // button without moving it.
    if (ui->ebCustomMTU->isModified()) {
        ebCustomMTUExit();
        ui->ebCustomMTU->setModified(false);
    }
}

void TSettingsPage::ebCustomMTUExit() {
    if (FModel.ProfileCount <= 0 || !ui->ebCustomMTU->isModified() ||
        !ui->radioCustomMTU->isChecked())
        return;
    AdapterProfile* profile = FModel.ActiveEntry();
    if (!profile)
        return;
    // No range check: the user was warned.
    const QString mtu = ui->ebCustomMTU->text().trimmed();
    StoreMTU(*profile, mtu, mtu);
    FModel.SettingsChanged = true;
}

void TSettingsPage::tbRWINChange() {
    // RWIN follows the multiplier; this alone does not count as a change to save.
    if (FModel.MSS.isEmpty())
        ui->ebRWIN->setText(QStringLiteral("0"));
    else
        ui->ebRWIN->setText(QString::number(qint64(StrToInt(FModel.MSS)) * ui->tbRWIN->value()));
    FModel.RWIN = ui->ebRWIN->text();
}

void TSettingsPage::ebMSSChange() {
    FModel.MSS = IntToStr(ui->seMSS->value());
    FModel.SettingsChanged = true;
}

void TSettingsPage::cbTTLChange() {
    FModel.TTL = ui->cbTTL->currentText();
    FModel.SettingsChanged = true;
}

void TSettingsPage::cbAutoDiscoverClick() {
    FModel.AutoDiscover = ui->cbAutoDiscover->isChecked();
    FModel.SettingsChanged = true;
}

void TSettingsPage::cbBlackHoleClick() {
    FModel.BlackHole = ui->cbBlackHole->isChecked();
    FModel.SettingsChanged = true;
}

void TSettingsPage::cbNdiCacheChange() {
    FModel.NdiCacheSize = ui->cbNdiCache->currentText();
    FModel.SettingsChanged = true;
}
