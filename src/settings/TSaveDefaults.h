#pragma once
#include <QObject>
#include <functional>

class TParameterSet;
class QPushButton;

// The Save and Defaults buttons: writing the model to the registry (with the
// offer of a history record), and removing every value the program manages.
class TSaveDefaults : public QObject {
    Q_OBJECT
public:
    TSaveDefaults(TParameterSet& model, QPushButton* save, QPushButton* defaults,
                  QObject* parent = nullptr);

    // Adds a history record of the settings in force with a throughput.
    std::function<void(int)> AddHistoryRecord;

    void btnSaveClick();
    void btnDefaultsClick();

private:
    TParameterSet& FModel;
};
