#include "support/TAboutBox1.h"
#include "platform/TMessageDlg.h"
#include "platform/TShell.h"
#include "support/TProgramIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

const QString TAboutBox1::WebSiteUrl = QStringLiteral("https://www.brindlecove.example/");
const QString TAboutBox1::FaqUrl =
    QStringLiteral("https://www.brindlecove.example/zephyn/faq.html");

namespace {
// A label that opens the web site when clicked.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString& text, TAboutBox1* box) : QLabel(text), FBox(box) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent*) override { FBox->btnWebSiteClick(); }

private:
    TAboutBox1* FBox;
};
} // namespace

TAboutBox1::TAboutBox1(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox1"));
    setWindowTitle(QStringLiteral("About Zephyn"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    ProgramIcon = new QLabel;
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(TProgramIcon::Pixmap(48));
    ProgramIcon->setAccessibleName(QStringLiteral("Zephyn icon"));

    auto* product = FProduct = new QLabel(QStringLiteral("Zephyn for Windows"));
    product->setObjectName(QStringLiteral("ProductName"));
    QFont big = product->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    product->setFont(big);

    lblVersion = new QLabel(QStringLiteral("Version 2.80"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont bold = lblVersion->font();
    bold.setBold(true);
    lblVersion->setFont(bold);
    ShowColours();

    auto* maker = new TLinkLabel(QStringLiteral("Freeware from Brindlecove Software"), this);
    maker->setObjectName(QStringLiteral("Copyright"));
    maker->setAlignment(Qt::AlignCenter);
    maker->setToolTip(QStringLiteral("Click here to visit our web site"));
    maker->setAccessibleDescription(maker->toolTip());

    auto* legal = new QLabel(QStringLiteral(
        "This program is freeware. It is provided as is, without warranty of any kind. "
        "Changing TCP/IP settings can make a connection unusable; keep a note of your "
        "settings before you change them."));
    legal->setObjectName(QStringLiteral("Comments"));
    legal->setWordWrap(true);
    QFont small = legal->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    legal->setFont(small);

    btnSupport = new QPushButton(QStringLiteral("Online &FAQ"));
    btnSupport->setObjectName(QStringLiteral("btnSupport"));
    btnSupport->setToolTip(DisplayText(QStringLiteral(
        "Click here to load your browser and jump to the Brindlecove \r\nZephyn online FAQ on our "
        "web site. This page provides the most up to date\r\ninformation for troubleshooting "
        "problems with Zephyn.")));
    btnWebSite = new QPushButton(QStringLiteral("&Web Site"));
    btnWebSite->setObjectName(QStringLiteral("btnWebSite"));
    btnWebSite->setToolTip(DisplayText(QStringLiteral(
        "Click here to load your browser and jump to the\r\nBrindlecove support web site.")));
    OKButton = new QPushButton(QStringLiteral("&OK"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    for (QPushButton* b : {btnSupport, btnWebSite})
        b->setAccessibleDescription(b->toolTip());

    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->addWidget(product);
    names->addWidget(lblVersion);
    top->addLayout(names, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSupport);
    buttons->addWidget(btnWebSite);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(maker);
    layout->addWidget(legal);
    layout->addLayout(buttons);
    setFixedWidth(qMax(360, sizeHint().width()));

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnWebSite, &QPushButton::clicked, this, &TAboutBox1::btnWebSiteClick);
    connect(btnSupport, &QPushButton::clicked, this, &TAboutBox1::btnSupportClick);
    FitTitle(*this);
}

TVersionInfo TAboutBox1::ProgramVersion() {
    TVersionInfo info;
#ifdef ZEPHYN_VERSION
    info.Present = true;
    info.FileVersion = QStringLiteral(ZEPHYN_VERSION);
#endif
    return info;
}

QString TAboutBox1::VersionText(const TVersionInfo& info) {
    if (!info.Present)
        return QStringLiteral("Version 2.80");
    if (!info.FileVersion.isEmpty())
        return QStringLiteral("Version ") + info.FileVersion;
    return QStringLiteral("Version %1.%2.%3.%4")
        .arg(info.Major)
        .arg(info.Minor)
        .arg(info.Release)
        .arg(info.Build);
}

namespace {

// No browser to be had: the address is shown, so that it can be copied.
void Open(const QString& url) {
    if (!TShell::OpenUrl(url))
        MessageDlg(QStringLiteral("No web browser could be started for\r\n%1\r\n\r\nCopy the "
                                  "address into a browser to visit the page.")
                       .arg(url),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

} // namespace

void TAboutBox1::ShowVersion() {
    lblVersion->setText(VersionText(ProgramVersion()));
}

void TAboutBox1::btnWebSiteClick() {
    Open(WebSiteUrl);
}

void TAboutBox1::btnSupportClick() {
    Open(FaqUrl);
}

void TAboutBox1::mousePressEvent(QMouseEvent*) {
    btnWebSiteClick();
}

void TAboutBox1::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ShowColours();
}

void TAboutBox1::ShowColours() {
    if (!FProduct || !lblVersion)
        return; // not built yet
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    const std::pair<QLabel*, QColor> colours[] = {
        {FProduct, dark ? QColor(140, 180, 255) : QColor(Qt::blue)},
        {lblVersion, dark ? QColor(214, 214, 120) : QColor(128, 128, 0)},
    };
    for (const auto& [label, colour] : colours) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    }
}
