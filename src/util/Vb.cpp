// Vb: implementations of the VB-compatible helpers.
#include "util/Vb.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace util {

namespace {
bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}
} // namespace

double Val(const QString& text) {
    // Gather the characters that are not blanks, then read the longest leading number.
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isBlank(c))
            s += c;
    if (s.startsWith(QLatin1String("&H"), Qt::CaseInsensitive) ||
        s.startsWith(QLatin1String("&O"), Qt::CaseInsensitive) || s.startsWith(QLatin1String("&"))) {
        int base = 8;
        int i = 1;
        if (s.size() > 1 && (s[1] == QLatin1Char('H') || s[1] == QLatin1Char('h'))) {
            base = 16;
            i = 2;
        } else if (s.size() > 1 && (s[1] == QLatin1Char('O') || s[1] == QLatin1Char('o'))) {
            i = 2;
        }
        double v = 0;
        for (; i < s.size(); ++i) {
            const int d = QString(s[i]).toInt(nullptr, 16);
            const bool isDigit = s[i].isDigit() || (base == 16 && QStringLiteral("abcdefABCDEF").contains(s[i]));
            if (!isDigit || d >= base)
                break;
            v = v * base + d;
        }
        return v;
    }
    qsizetype i = 0;
    QString num;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        num += s[i++];
    bool digits = false;
    while (i < s.size() && s[i] >= QLatin1Char('0') && s[i] <= QLatin1Char('9')) {
        num += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        num += s[i++];
        while (i < s.size() && s[i] >= QLatin1Char('0') && s[i] <= QLatin1Char('9')) {
            num += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e') || s[i] == QLatin1Char('D') ||
                         s[i] == QLatin1Char('d'))) {
        qsizetype j = i + 1;
        QString exp = QStringLiteral("e");
        if (j < s.size() && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exp += s[j++];
        bool expDigits = false;
        while (j < s.size() && s[j] >= QLatin1Char('0') && s[j] <= QLatin1Char('9')) {
            exp += s[j++];
            expDigits = true;
        }
        if (expDigits)
            num += exp;
    }
    bool ok = false;
    const double v = num.toDouble(&ok);
    return ok ? v : 0;
}

double roundHalfEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5)
        return f + 1;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

qint32 CLng(double v) {
    const double r = roundHalfEven(v);
    if (std::isnan(r) || r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
        throw VbError(QStringLiteral("Overflow"));
    return qint32(r);
}

qint16 CInt(double v) {
    const double r = roundHalfEven(v);
    if (std::isnan(r) || r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        throw VbError(QStringLiteral("Overflow"));
    return qint16(r);
}

QString LTrim(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    return s.mid(i);
}

QString RTrim(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == QLatin1Char(' '))
        --n;
    return s.left(n);
}

QString Trim(const QString& s) {
    return LTrim(RTrim(s));
}

int InStr(int start, const QString& text, const QString& what, Qt::CaseSensitivity cs) {
    if (start < 1)
        throw VbError(QStringLiteral("Invalid procedure call or argument"));
    if (start > text.size() + 1)
        return 0;
    if (what.isEmpty())
        return start;
    const qsizetype at = text.indexOf(what, start - 1, cs);
    return at < 0 ? 0 : int(at + 1);
}

QString CStr(const QVariant& v) {
    if (isNull(v))
        return {};
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy/MM/dd"));
    default:
        return v.toString();
    }
}

QString fileNamePart(const QString& path) {
    const qsizetype a = path.lastIndexOf(QLatin1Char('\\'));
    const qsizetype b = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(std::max(a, b) + 1);
}

std::optional<qint32> pageNumber(const QVariant& v) {
    if (isNull(v))
        return std::nullopt;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
        return qint32(v.toInt());
    case QMetaType::LongLong:
    case QMetaType::Long: {
        const qlonglong n = v.toLongLong();
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return qint32(n);
    }
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < std::numeric_limits<qint32>::min() ||
            d > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return qint32(d);
    }
    case QMetaType::QString: {
        const QString t = v.toString().trimmed();
        qsizetype i = 0;
        if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+')))
            ++i;
        if (i == t.size())
            return std::nullopt;
        for (qsizetype j = i; j < t.size(); ++j)
            if (t.at(j) < QLatin1Char('0') || t.at(j) > QLatin1Char('9'))
                return std::nullopt;
        bool ok = false;
        const qint32 n = t.toInt(&ok);
        return ok ? std::optional<qint32>(n) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace util
