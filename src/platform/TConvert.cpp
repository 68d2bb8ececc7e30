#include "platform/TConvert.h"
#include "platform/TExceptions.h"

QString ExceptionMessage(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return QString::fromUtf8(e.what());
}

bool TryStrToInt(const QString& text, int& value) {
    // Leading blanks, a sign, then decimal digits (or $/0x hex) and nothing after.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    long long result = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return false;
        result = result * base + digit;
        if (result > 0x100000000LL)
            return false;
    }
    if (negative)
        result = -result;
    if (base == 10 && (result > 2147483647LL || result < -2147483648LL))
        return false;
    if (base == 16 && result > 0xFFFFFFFFLL)
        return false;
    value = static_cast<int>(static_cast<unsigned int>(result));
    return true;
}

int StrToInt(const QString& text) {
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

int StrToIntDef(const QString& text, int fallback) {
    int value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

QString IntToStr(long long value) {
    return QString::number(value);
}
