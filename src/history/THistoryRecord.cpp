#include "history/THistoryRecord.h"
#include "platform/TAnsiCodec.h"

#include <QtEndian>
#include <cstring>

HistoryRecord LegacyHistoryRecord::Converted() const {
    HistoryRecord r;
    r.SetEntryName(EntryName());
    r.SetProfile(Profile());
    r.SetProfileCopy(ProfileCopy());
    r.SetMaxMTU(MaxMTU());
    r.SetRWIN(RWIN());
    r.SetTTL(TTL());
    r.SetMSS(MSS());
    r.SetComment(Comment());
    r.SetMTUDiscover(MTUDiscover());
    r.SetBlackHole(BlackHole());
    r.SetThroughput(Throughput());
    r.SetIPMTU(MaxMTU());
    r.SetNDICache(QStringLiteral("0"));
    return r;
}

// hist.dat is the array as it lies in memory, record after record.
static_assert(sizeof(HistoryRecord) == HistoryRecord::Size);
static_assert(sizeof(LegacyHistoryRecord) == LegacyHistoryRecord::Size);
static_assert(std::is_trivially_copyable_v<HistoryRecord>);
