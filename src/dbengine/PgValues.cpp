// PgValues: the server's values (text and binary formats) as the reader's variants, and as COPY writes them.
#include "dbengine/PgValues.h"

#include "dbengine/SqlDialect.h"

#include <QDate>
#include <QDateTime>

#include <charconv>
#include <cstring>

namespace dbengine::pgvalues {

namespace {

// Type numbers of the server's built-in types (they never change).
enum : Oid {
    kBool = 16,
    kBytea = 17,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kDate = 1082,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
    // Texts, whose values come in the binary format as they are in text.
    kChar = 18,
    kName = 19,
    kText = 25,
    kJson = 114,
    kUnknown = 705,
    kBpchar = 1042,
    kVarchar = 1043,
};

/// A date or time as the server writes it in text ("YYYY-MM-DD[ HH:MM:SS]"), from its binary form:
/// microseconds (or days) since 2000-01-01.
QString dateText(qint64 days, qint64 micros, bool withTime) {
    const QDate d = QDate(2000, 1, 1).addDays(days);
    const int year = d.year();
    QString s = QStringLiteral("%1-%2-%3")
                    .arg(year > 0 ? year : -year, 4, 10, QLatin1Char('0')) // QDate has no year 0: -1 is 1 BC
                    .arg(d.month(), 2, 10, QLatin1Char('0'))
                    .arg(d.day(), 2, 10, QLatin1Char('0'));
    if (withTime) {
        const qint64 seconds = micros / 1000000;
        s += QStringLiteral(" %1:%2:%3")
                 .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                 .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                 .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return year > 0 ? s : s + QStringLiteral(" BC");
}

qint64 bigEndian(const char* p, int bytes) {
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | quint8(p[i]);
    if (bytes < 8 && (v >> (bytes * 8 - 1)) & 1)
        v |= ~quint64(0) << (bytes * 8); // the sign, carried up
    return qint64(v);
}

/// A numeric's binary form (digit count, weight, sign, scale, then base-10000 digits) as the decimal
/// text the server would write, which is then read as the text is.
QByteArray numericText(const char* p, int bytes) {
    if (bytes < 8)
        return {};
    const int count = int(bigEndian(p, 2)), weight = int(bigEndian(p + 2, 2)), scale = int(bigEndian(p + 6, 2));
    const quint16 sign = quint16(bigEndian(p + 4, 2));
    if (sign == 0xC000)
        return "NaN";
    if (sign == 0xD000)
        return "Infinity";
    if (sign == 0xF000)
        return "-Infinity";
    if (bytes < 8 + 2 * count)
        return {};
    auto digit = [&](int i) { return i >= 0 && i < count ? int(bigEndian(p + 8 + 2 * i, 2)) : 0; };
    QByteArray out = sign == 0x4000 ? "-" : "";
    QByteArray whole;
    for (int i = 0; i <= weight; ++i)
        whole += QByteArray::number(digit(i)).rightJustified(i == 0 ? 1 : 4, '0');
    out += whole.isEmpty() ? QByteArray("0") : whole;
    if (scale > 0) {
        QByteArray fraction;
        for (int i = weight + 1; fraction.size() < scale; ++i)
            fraction += QByteArray::number(digit(i)).rightJustified(4, '0');
        out += '.' + fraction.left(scale);
    }
    return out;
}

/// Whether a column's values can be read in the binary format (and read as their text would be).
} // namespace

bool readableInBinary(Oid type) {
    switch (type) {
    case kBool:
    case kBytea:
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kFloat4:
    case kFloat8:
    case kNumeric:
    case kDate:
    case kTimestamp:
    case kChar:
    case kName:
    case kText:
    case kJson:
    case kUnknown:
    case kBpchar:
    case kVarchar:
        return true;
    default:
        return false; // time zones, intervals, arrays, …: read in text
    }
}

namespace {

QVariant wholeNumber(qlonglong v) {
    if (v >= INT32_MIN && v <= INT32_MAX)
        return QVariant(int(v));
    return QVariant(v);
}

QVariant storedDate(const QString& s) {
    const QDateTime t = SqlDialect::parseStoredDate(s.left(19));
    return t.isValid() ? QVariant(t) : QVariant(s);
}

/// A value in the binary format. Binary values come as they are: a page's bytes once, not doubled
/// as hexadecimal text.
QVariant binaryValue(const char* p, int bytes, Oid type) {
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return bytes == 2 || bytes == 4 || bytes == 8 ? wholeNumber(type == kOid ? qlonglong(quint32(bigEndian(p, 4)))
                                                                                  : bigEndian(p, bytes))
                                                      : QVariant();
    case kBool:
        return QVariant(bytes > 0 && p[0] ? 1 : 0);
    case kFloat4: {
        const quint32 bits = quint32(bigEndian(p, 4));
        float f = 0;
        std::memcpy(&f, &bits, 4);
        // As the server writes it (the shortest form of the float), read as a double.
        char shortest[32];
        const auto end = std::to_chars(shortest, shortest + sizeof shortest, f).ptr;
        return QVariant(QByteArray(shortest, end - shortest).toDouble());
    }
    case kFloat8: {
        const quint64 bits = quint64(bigEndian(p, 8));
        double d = 0;
        std::memcpy(&d, &bits, 8);
        return QVariant(d);
    }
    case kNumeric:
        return QVariant(numericText(p, bytes).toDouble());
    case kBytea:
        return QVariant(QByteArray(p, bytes));
    case kDate: {
        const qint64 days = bigEndian(p, 4);
        if (days == INT32_MAX || days == INT32_MIN)
            return QVariant(days > 0 ? QStringLiteral("infinity") : QStringLiteral("-infinity"));
        return storedDate(dateText(days, 0, false));
    }
    case kTimestamp: {
        const qint64 micros = bigEndian(p, 8);
        if (micros == INT64_MAX || micros == INT64_MIN)
            return QVariant(micros > 0 ? QStringLiteral("infinity") : QStringLiteral("-infinity"));
        constexpr qint64 day = qint64(86400) * 1000000;
        const qint64 days = micros >= 0 ? micros / day : -((-micros + day - 1) / day);
        return storedDate(dateText(days, micros - days * day, true));
    }
    default:
        return QVariant(QString::fromUtf8(p, bytes));
    }
}

} // namespace

QVariant valueOf(const PGresult* r, int row, int col) {
    if (PQgetisnull(r, row, col))
        return QVariant();
    const char* text = PQgetvalue(r, row, col);
    const int bytes = PQgetlength(r, row, col);
    if (PQfformat(r, col) == 1)
        return binaryValue(text, bytes, PQftype(r, col));
    switch (PQftype(r, col)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return wholeNumber(QByteArray::fromRawData(text, bytes).toLongLong());
    case kBool:
        return QVariant(text[0] == 't' ? 1 : 0);
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(QByteArray::fromRawData(text, bytes).toDouble());
    case kBytea: {
        size_t n = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &n);
        if (!raw)
            return QVariant(QByteArray());
        QByteArray b(reinterpret_cast<const char*>(raw), qsizetype(n));
        PQfreemem(raw);
        return QVariant(b);
    }
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return storedDate(QString::fromUtf8(text, bytes));
    default:
        return QVariant(QString::fromUtf8(text, bytes));
    }
}


/// A value as COPY's text format writes it.
void appendCopyValue(QByteArray& out, const QVariant& v, DbColumn::Kind kind) {
    if (!v.isValid() || v.isNull()) {
        out += "\\N";
        return;
    }
    if (kind == DbColumn::Binary) {
        out += "\\\\x";
        out += (v.metaType().id() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8()).toHex();
        return;
    }
    QByteArray text;
    if (v.metaType().id() == QMetaType::QDateTime)
        text = SqlDialect::storedDate(v.toDateTime()).toUtf8();
    else if (v.metaType().id() == QMetaType::QByteArray)
        text = v.toByteArray();
    else if (v.metaType().id() == QMetaType::Double)
        text = QByteArray::number(v.toDouble(), 'g', 17);
    else
        text = v.toString().toUtf8();
    for (const char ch : text) {
        switch (ch) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += ch;
        }
    }
}


} // namespace dbengine::pgvalues
