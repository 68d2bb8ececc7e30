#include "platform/TMessageDlg.h"

#include "platform/TApplication.h"

#include <QPushButton>
#include <QApplication>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QInputDialog>
#include <QMessageBox>
#include <QSpacerItem>
#include <algorithm>

namespace {

QString Caption() {
    const QString title = Application ? Application->Title() : QString();
    return title.isEmpty() ? QStringLiteral("Zephyn for Windows") : title;
}

class TWidgetDialogs : public TDialogService {
public:
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
        QMessageBox box(QApplication::activeWindow());
        QPushButton* openFolder = nullptr;
        box.setWindowTitle(Caption());
        box.setText(DisplayText(text));
        switch (type) {
        case TMsgDlgType::mtWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case TMsgDlgType::mtError:
            box.setIcon(QMessageBox::Critical);
            break;
        case TMsgDlgType::mtInformation:
            box.setIcon(QMessageBox::Information);
            break;
        case TMsgDlgType::mtConfirmation:
            box.setIcon(QMessageBox::Question);
            break;
        }
        switch (buttons) {
        case TMsgDlgButtons::mbOK:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case TMsgDlgButtons::mbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case TMsgDlgButtons::mbOKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case TMsgDlgButtons::mbOKOpenFolder:
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
            openFolder = box.addButton(QStringLiteral("Open &Folder"), QMessageBox::ActionRole);
            break;
        }
        // The style's own message icons are bitmaps, blurred at 2x; the kind
        // stays set for screen readers, only the picture changes.
        if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
            icon->setPixmap(MessageDlgIcon(type,
                                           box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize),
                                           box.devicePixelRatio()));
        FitTitle(box);
        const int answer = box.exec();
        if (openFolder && box.clickedButton() == openFolder)
            return mrOpenFolder;
        switch (answer) {
        case QMessageBox::Ok:
            return mrOk;
        case QMessageBox::Yes:
            return mrYes;
        case QMessageBox::No:
            return mrNo;
        default:
            return mrCancel;
        }
    }
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(caption);
        dialog.setLabelText(DisplayText(prompt));
        dialog.setTextValue(value);
        FitTitle(dialog);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        value = dialog.textValue();
        return true;
    }
};

TDialogService* Current = nullptr;

TDialogService& Service() {
    static TWidgetDialogs widgets;
    return Current ? *Current : widgets;
}

} // namespace

void FitTitle(QDialog& dialog) {
    // The title bar also holds the window manager's buttons and icon.
    const int needed = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        // A message box sizes itself from its layout: a spacer across it holds the width.
        grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    } else {
        dialog.setMinimumWidth(std::max(dialog.minimumWidth(), needed));
    }
}

QString DisplayText(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    return Service().MessageDlg(text, type, buttons);
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value) {
    return Service().InputQuery(caption, prompt, value);
}

void SetDialogService(TDialogService* service) {
    Current = service;
}

QPixmap MessageDlgIcon(TMsgDlgType type, int size, qreal devicePixelRatio) {
    struct TLook {
        const char* Theme;
        QColor Colour;
        QChar Glyph;
    };
    const TLook look = type == TMsgDlgType::mtError     ? TLook{"dialog-error", QColor(0xC6, 0x28, 0x28), u'\u00D7'}
                       : type == TMsgDlgType::mtWarning ? TLook{"dialog-warning", QColor(0xE0, 0x9A, 0x00), u'!'}
                       : type == TMsgDlgType::mtInformation
                           ? TLook{"dialog-information", QColor(0x1E, 0x63, 0xB8), u'i'}
                           : TLook{"dialog-question", QColor(0x1E, 0x63, 0xB8), u'?'};
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(look.Theme));
    if (!themed.isNull())
        return themed.pixmap(QSize(size, size), devicePixelRatio);
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(1, 1, size - 2, size - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(look.Colour);
    if (type == TMsgDlgType::mtWarning) {
        QPainterPath triangle;
        triangle.moveTo(area.center().x(), area.top());
        triangle.lineTo(area.bottomRight());
        triangle.lineTo(area.bottomLeft());
        triangle.closeSubpath();
        p.drawPath(triangle);
    } else {
        p.drawEllipse(area);
    }
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(int(size * 0.62));
    p.setFont(font);
    p.setPen(type == TMsgDlgType::mtWarning ? Qt::black : Qt::white);
    const QRectF glyph = type == TMsgDlgType::mtWarning ? area.adjusted(0, size * 0.2, 0, 0) : area;
    p.drawText(glyph, Qt::AlignCenter, QString(look.Glyph));
    return pixmap;
}
