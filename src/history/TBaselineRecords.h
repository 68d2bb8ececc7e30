#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

class THistory;
class TParameterSet;

// "dd mmm yyyy", or "dd mmm yyyy hh:nn:ss", with the locale's short month names.
QString HistoryDateText(const QDateTime& when, bool withTime);

// The records made when the history is empty at start: one "Initial" record
// per profile (each shown on the Settings page first), or one "Global"
// record without profiles; then the message that says so.
void CreateBaselineRecords(THistory& history, TParameterSet& parameters,
                           const std::function<void(int)>& showProfile);
