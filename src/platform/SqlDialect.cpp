// SqlDialect: a small scanner that rewrites date literals outside quoted text.
#include "platform/SqlDialect.h"

#include <QRegularExpression>

namespace platform {

namespace {

QDateTime makeDateTime(int y, int mo, int d, int h, int mi, int s) {
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

int expandYear(int y, qsizetype digits) {
    if (digits <= 2)
        return y < 30 ? 2000 + y : 1900 + y;
    return y;
}

// Parses "yyyy/MM/dd hh:mm:ss" (also with "-" and without the time) as convert() carries it.
QDateTime parseConvertDate(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^\\s*(\\d{4})[/-](\\d{1,2})[/-](\\d{1,2})(?:[ T]+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?)?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    return makeDateTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                        m.captured(5).toInt(), m.captured(6).toInt());
}

QString quoted(const QDateTime& t) {
    return QLatin1Char('\'') + SqlDialect::storedDate(t) + QLatin1Char('\'');
}

} // namespace

QString SqlDialect::storedDate(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime SqlDialect::parseStoredDate(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.\\d+)?)?)?$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    return makeDateTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                        m.captured(5).toInt(), m.captured(6).toInt());
}

QDateTime SqlDialect::parseJetDate(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})(?:\\s+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?)?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    const int year = expandYear(m.captured(3).toInt(), m.captured(3).size());
    return makeDateTime(year, m.captured(1).toInt(), m.captured(2).toInt(), m.captured(4).toInt(),
                        m.captured(5).toInt(), m.captured(6).toInt());
}

QString SqlDialect::toSqlite(const QString& sql) {
    static const QRegularExpression convertRe(QStringLiteral("convert\\s*\\(\\s*datetime\\s*,\\s*'([^']*)'\\s*\\)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString out;
    out.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Copy quoted text unchanged; a doubled quote stays inside it.
            qsizetype j = i + 1;
            while (j < n) {
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += sql.mid(i, j - i + 1);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('#')) {
            const qsizetype close = sql.indexOf(QLatin1Char('#'), i + 1);
            if (close > i) {
                const QDateTime t = parseJetDate(sql.mid(i + 1, close - i - 1));
                if (t.isValid()) {
                    out += quoted(t);
                    i = close + 1;
                    continue;
                }
            }
        } else if ((c == QLatin1Char('c') || c == QLatin1Char('C')) &&
                   (i == 0 || !(sql.at(i - 1).isLetterOrNumber() || sql.at(i - 1) == QLatin1Char('_')))) {
            const auto m =
                convertRe.match(sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch()) {
                const QDateTime t = parseConvertDate(m.captured(1));
                if (t.isValid()) {
                    out += quoted(t);
                    i += m.capturedLength(0);
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace platform
