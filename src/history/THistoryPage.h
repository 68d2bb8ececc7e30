#pragma once
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

class THistory;
class TParameterSet;
class TSettingsInForceView;
class TfrmHistoryEntry;
class QToolButton;
class QTreeView;
namespace Ui {
class THistoryPage;
}

// The History page: the list of history records (a view of the history
// model) and the buttons that add, edit, remove and use them.
class THistoryPage : public QWidget {
    Q_OBJECT
public:
    THistoryPage(THistory& history, TParameterSet& parameters, TSettingsInForceView& settings,
                 QWidget* parent = nullptr);
    ~THistoryPage() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // Main-window operations Use Settings needs: make the Settings page the
    // active page, and bring the command buttons into its state.
    std::function<void()> ShowSettingsPage;
    std::function<void()> PageControl1Change;

    // The selected rows, in row order.
    QList<int> SelectedRows() const;

    // A record of the settings in force with a throughput, after asking for a comment.
    void AddHistoryRecord(int throughput);
    void sbtnNewClick();
    void sbtnEditClick();
    void sbtnRemoveClick();
    void sbtnUseClick();
    void lvHistorySelectItem();

private:
    // The selected row, or -1 after telling the user why there is none.
    int SingleSelection(const QString& noneText);

    THistory& FHistory;
    TParameterSet& FParameters;
    TSettingsInForceView& FSettings;
    std::unique_ptr<Ui::THistoryPage> ui;
};
