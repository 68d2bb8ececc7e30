#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

struct TVersionInfo {
    bool Present = false;
    QString FileVersion;
    int Major = 0, Minor = 0, Release = 0, Build = 0;
};

// The about box: product, version, and the maker's web site and FAQ.
class TAboutBox1 : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox1(QWidget* parent = nullptr);

    static TVersionInfo ProgramVersion();
    static QString VersionText(const TVersionInfo& info);
    static const QString WebSiteUrl;
    static const QString FaqUrl;

    // The running program's version, from its version information.
    void ShowVersion();

    void btnWebSiteClick();
    void btnSupportClick();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Blue title and olive version; lighter variants on a dark background,
    // so that both stay readable (contrast of 4.5:1 at least).
    void ShowColours();
    QLabel* FProduct = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* btnSupport;
    QPushButton* btnWebSite;
    QPushButton* OKButton;
};
