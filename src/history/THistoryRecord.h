#pragma once
#include "platform/TRecordImage.h"

// One settings combination with its measured throughput and a comment, as
// hist.dat stores it: 384 bytes, texts in length-prefixed slots.
class HistoryRecord : public TRecordImage<384> {
public:
    static constexpr TTextSlot EntryNameSlot{0, 30}, ProfileSlot{31, 30}, ProfileCopySlot{62, 25},
        MaxMTUSlot{88, 4}, RWINSlot{93, 8}, TTLSlot{102, 3}, MSSSlot{106, 6}, IPMTUSlot{113, 4},
        NDICacheSlot{118, 2}, CommentSlot{128, 255};

    QString EntryName() const { return Text(EntryNameSlot); }
    void SetEntryName(const QString& s) { SetText(EntryNameSlot, s); }
    QString Profile() const { return Text(ProfileSlot); }
    void SetProfile(const QString& s) { SetText(ProfileSlot, s); }
    QString ProfileCopy() const { return Text(ProfileCopySlot); }
    void SetProfileCopy(const QString& s) { SetText(ProfileCopySlot, s); }
    QString MaxMTU() const { return Text(MaxMTUSlot); }
    void SetMaxMTU(const QString& s) { SetText(MaxMTUSlot, s); }
    QString RWIN() const { return Text(RWINSlot); }
    void SetRWIN(const QString& s) { SetText(RWINSlot, s); }
    QString TTL() const { return Text(TTLSlot); }
    void SetTTL(const QString& s) { SetText(TTLSlot, s); }
    QString MSS() const { return Text(MSSSlot); }
    void SetMSS(const QString& s) { SetText(MSSSlot, s); }
    QString IPMTU() const { return Text(IPMTUSlot); }
    void SetIPMTU(const QString& s) { SetText(IPMTUSlot, s); }
    QString NDICache() const { return Text(NDICacheSlot); }
    void SetNDICache(const QString& s) { SetText(NDICacheSlot, s); }
    bool MTUDiscover() const { return Flag(121); }
    void SetMTUDiscover(bool on) { SetFlag(121, on); }
    bool BlackHole() const { return Flag(122); }
    void SetBlackHole(bool on) { SetFlag(122, on); }
    int32_t Throughput() const { return Int32(124); }
    void SetThroughput(int32_t value) { SetInt32(124, value); }
    QString Comment() const { return Text(CommentSlot); }
    void SetComment(const QString& s) { SetText(CommentSlot, s); }
};

// The record of the older history.dat: 376 bytes, without IPMTU and NDI cache.
class LegacyHistoryRecord : public TRecordImage<376> {
public:
    static constexpr TTextSlot EntryNameSlot{0, 30}, ProfileSlot{31, 30}, ProfileCopySlot{62, 25},
        MaxMTUSlot{88, 4}, RWINSlot{93, 8}, TTLSlot{102, 3}, MSSSlot{106, 6}, CommentSlot{120, 255};

    QString EntryName() const { return Text(EntryNameSlot); }
    void SetEntryName(const QString& s) { SetText(EntryNameSlot, s); }
    QString Profile() const { return Text(ProfileSlot); }
    void SetProfile(const QString& s) { SetText(ProfileSlot, s); }
    QString ProfileCopy() const { return Text(ProfileCopySlot); }
    void SetProfileCopy(const QString& s) { SetText(ProfileCopySlot, s); }
    QString MaxMTU() const { return Text(MaxMTUSlot); }
    void SetMaxMTU(const QString& s) { SetText(MaxMTUSlot, s); }
    QString RWIN() const { return Text(RWINSlot); }
    void SetRWIN(const QString& s) { SetText(RWINSlot, s); }
    QString TTL() const { return Text(TTLSlot); }
    void SetTTL(const QString& s) { SetText(TTLSlot, s); }
    QString MSS() const { return Text(MSSSlot); }
    void SetMSS(const QString& s) { SetText(MSSSlot, s); }
    bool MTUDiscover() const { return Flag(113); }
    void SetMTUDiscover(bool on) { SetFlag(113, on); }
    bool BlackHole() const { return Flag(114); }
    void SetBlackHole(bool on) { SetFlag(114, on); }
    int32_t Throughput() const { return Int32(116); }
    void SetThroughput(int32_t value) { SetInt32(116, value); }
    QString Comment() const { return Text(CommentSlot); }
    void SetComment(const QString& s) { SetText(CommentSlot, s); }

    // The current record made from this one: IPMTU is the old MaxMTU, the NDI cache "0".
    HistoryRecord Converted() const;
};
