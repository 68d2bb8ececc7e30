#pragma once
#include <QString>

// Decimal text to a 32-bit integer; raises EConvertError
// "'%s' is not a valid integer value" for anything else.
int StrToInt(const QString& text);
// As StrToInt, but gives fallback instead of raising.
int StrToIntDef(const QString& text, int fallback);
bool TryStrToInt(const QString& text, int& value);
QString IntToStr(long long value);
