// Vb: the VB-compatible helpers the program's rules are written in (Val, rounding, Trim, InStr, CStr).
#pragma once

#include <QString>
#include <QVariant>

#include <optional>
#include <stdexcept>

namespace util {

/// An error that passes to the caller, as a run-time error does in the original rules. User-interface
/// handlers catch it and end quietly.
class VbError : public std::runtime_error {
public:
    explicit VbError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

/// VB's Val: the leading number of a text. Blanks (space, tab, CR, LF) are skipped anywhere;
/// "." is the decimal point whatever the locale; "&H"/"&O" prefixes read hexadecimal and octal;
/// an exponent "E" or "D" is accepted; text without a leading number gives 0.
double Val(const QString& text);

/// Rounds to the nearest whole number, halves to the even neighbour (VB's CInt/CLng).
double roundHalfEven(double v);
/// CLng: nearest 32-bit whole number (halves to even); throws VbError on overflow.
qint32 CLng(double v);
/// CInt: nearest 16-bit whole number (halves to even); throws VbError on overflow.
qint16 CInt(double v);

/// VB's Trim, LTrim, RTrim: remove spaces (only the space character) from the ends.
QString Trim(const QString& s);
QString LTrim(const QString& s);
QString RTrim(const QString& s);

/// VB's InStr: one-based position of what in text at or after the one-based start; 0 when absent.
int InStr(int start, const QString& text, const QString& what, Qt::CaseSensitivity cs = Qt::CaseSensitive);
inline int InStr(const QString& text, const QString& what) {
    return InStr(1, text, what);
}

/// VB's Null: an invalid or null variant (a SQL Null reads back as an invalid variant).
inline bool isNull(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

/// VB's CStr: numbers in plain decimal, Booleans as True/False, dates as "yyyy/MM/dd hh:mm:ss"
/// (one fixed form that reads back), texts as they are. Null gives an empty text.
QString CStr(const QVariant& v);

/// A page or document number that may go into a statement: a whole number that fits 32 bits, read
/// from a number or from a text of decimal digits (an optional sign, blanks around it). Anything else
/// ("1 Or 1=1", "12abc", 2.5, a date) is no number. Values read from a database pass through here
/// before they become part of SQL.
std::optional<qint32> pageNumber(const QVariant& v);

/// The part of a path after its last folder separator ("\" or "/").
QString fileNamePart(const QString& path);

} // namespace util
