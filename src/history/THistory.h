#pragma once
#include "history/THistoryRecord.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

class TParameterSet;

// The data module's ordered history, and the list model the History page
// shows: row i is record i. Every change goes through here, so array and
// list never disagree.
class THistory : public QAbstractTableModel {
    Q_OBJECT
public:
    // The list's columns, in their order (MSS before TTL).
    enum TColumn {
        colEntryName,
        colProfile,
        colMaxMTU,
        colRWIN,
        colMSS,
        colTTL,
        colMTUDiscover,
        colBlackHole,
        colNDICache,
        colThroughput,
        colComment,
        ColumnCount
    };
    static bool NumericColumn(int column);

    explicit THistory(const TParameterSet& parameters, QObject* parent = nullptr);

    int Count() const { return static_cast<int>(FRecords.size()); }
    const HistoryRecord& Record(int index) const { return FRecords.at(index); }
    const std::vector<HistoryRecord>& Records() const { return FRecords; }

    // The records read at start; the list shows none until FillList.
    void Assign(std::vector<HistoryRecord> records);
    void Clear();
    // Filling the list at start: one row per record. These rows show IPMTU
    // in the MaxMTU column while IPMTU is in use.
    void FillList();
    bool Listed() const { return FListed; }
    void AppendHistoryRecord(const HistoryRecord& record);
    void ReplaceRecord(int index, const HistoryRecord& record);
    void RemoveRecord(int index);

    // The texts of a row, in column order (MSS before TTL).
    QStringList HistoryRowTexts(int row) const;
    QString CellText(int row, int column) const;
    static QString ColumnCaption(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const TParameterSet& FParameters;
    std::vector<HistoryRecord> FRecords;
    std::vector<bool> FStartRow;
    bool FListed = false;
};
