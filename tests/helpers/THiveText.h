#pragma once
// Sections of machine hives for the two registry layouts, as REGEDIT4 text
// with \n line ends (TZephynTest::WriteHive adds the header and CR LF).
#include <QString>

namespace HiveText {

// A Windows 95/98 NetTrans binding key.
inline QString Binding(const QString& index, const QString& desc, const QString& values = {}) {
    return QStringLiteral(
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\%1]\n"
               "\"DriverDesc\"=\"%2\"\n%3\n")
        .arg(index, desc, values);
}

// The Windows 95/98 global TCP/IP values.
inline QString Mstcp(const QString& values) {
    return QStringLiteral(
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\n") +
           values + u'\n';
}

// The version text that makes a 95/98-family hive Windows 98.
inline QString Win98Version() {
    return QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
                          "\"Version\"=\"Windows 98\"\n\n");
}

// A Windows NT adapter's TCP/IP key: "NdisWan" for 0, else "NdisWan<index>".
inline QString NTAdapter(int index, const QString& values = {}) {
    const QString name =
        index == 0 ? QStringLiteral("NdisWan") : QStringLiteral("NdisWan%1").arg(index);
    return QStringLiteral("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\%"
                          "1\\Parameters\\Tcpip]\n%2\n")
        .arg(name, values);
}

// A Windows NT network card's rules with its type text.
inline QString NTCard(int index, const QString& type) {
    return QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
                          "NT\\CurrentVersion\\NetworkCards\\%1\\NetRules]\n"
                          "\"type\"=\"%2\"\n\n")
        .arg(index)
        .arg(type);
}

// The Windows NT global TCP/IP values.
inline QString NTParameters(const QString& values) {
    return QStringLiteral(
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters]\n") +
           values + u'\n';
}

} // namespace HiveText
