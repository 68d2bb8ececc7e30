#pragma once
class QLineEdit;

// A line edit that only shows a value the user changes elsewhere (the test
// profile's fields, changed through Add and Edit): read-only, it keeps the
// keyboard focus so its text can be read and copied, looks read-only (the
// window's colour behind it, following the palette), and screen readers
// are told it is read-only text, not an editable one.
void MakeShownOnly(QLineEdit* edit);
