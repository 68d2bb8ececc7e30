#include "history/THistory.h"
#include "tcpip/TParameterSet.h"

THistory::THistory(const TParameterSet& parameters, QObject* parent)
    : QAbstractTableModel(parent), FParameters(parameters) {}

void THistory::Assign(std::vector<HistoryRecord> records) {
    beginResetModel();
    FRecords = std::move(records);
    FStartRow.assign(FRecords.size(), false);
    FListed = false;
    endResetModel();
}

void THistory::Clear() {
    Assign({});
}

void THistory::FillList() {
    beginResetModel();
    FStartRow.assign(FRecords.size(), true);
    FListed = true;
    endResetModel();
}

void THistory::AppendHistoryRecord(const HistoryRecord& record) {
    if (FListed)
        beginInsertRows({}, Count(), Count());
    FRecords.push_back(record);
    FStartRow.push_back(false);
    if (FListed)
        endInsertRows();
}

void THistory::ReplaceRecord(int index, const HistoryRecord& record) {
    if (index < 0 || index >= Count())
        return;
    FRecords[index] = record;
    FStartRow[index] = false;
    if (FListed)
        emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
}

void THistory::RemoveRecord(int index) {
    if (index < 0 || index >= Count())
        return;
    if (FListed)
        beginRemoveRows({}, index, index);
    FRecords.erase(FRecords.begin() + index);
    FStartRow.erase(FStartRow.begin() + index);
    if (FListed)
        endRemoveRows();
}

QString THistory::CellText(int row, int column) const {
    const HistoryRecord& r = FRecords.at(row);
    switch (column) {
    case colEntryName:
        return r.EntryName();
    case colProfile:
        return r.Profile();
    case colMaxMTU:
        return FStartRow[row] && FParameters.IPMTUInUse ? r.IPMTU() : r.MaxMTU();
    case colRWIN:
        return r.RWIN();
    case colMSS:
        return r.MSS();
    case colTTL:
        return r.TTL();
    case colMTUDiscover:
        return r.MTUDiscover() ? QStringLiteral("Yes") : QStringLiteral("No");
    case colBlackHole:
        return r.BlackHole() ? QStringLiteral("Yes") : QStringLiteral("No");
    case colNDICache:
        return FParameters.Platform == WinNT ? QStringLiteral("n/a") : r.NDICache();
    case colThroughput:
        return QString::number(r.Throughput());
    case colComment:
        return r.Comment();
    default:
        return QString();
    }
}

QStringList THistory::HistoryRowTexts(int row) const {
    QStringList texts;
    for (int c = 0; c < ColumnCount; ++c)
        texts << CellText(row, c);
    return texts;
}

QString THistory::ColumnCaption(int column) {
    static const char* const captions[ColumnCount] = {
        "Entry Name",  "Profile",   "MaxMTU",    "RWIN",       "MSS",    "TTL",
        "MTUDiscover", "BlackHole", "NDI Cache", "Throughput", "Comment"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(captions[column]) : QString();
}

int THistory::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FListed ? 0 : Count();
}

int THistory::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool THistory::NumericColumn(int column) {
    return column == colMaxMTU || column == colRWIN || column == colMSS || column == colTTL ||
           column == colNDICache || column == colThroughput;
}

QVariant THistory::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::AlignVCenter | (NumericColumn(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
    if (role != Qt::DisplayRole)
        return {};
    return CellText(index.row(), index.column());
}

QVariant THistory::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (NumericColumn(section) ? Qt::AlignRight : Qt::AlignLeft));
    if (role != Qt::DisplayRole)
        return {};
    return ColumnCaption(section);
}

Qt::ItemFlags THistory::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
