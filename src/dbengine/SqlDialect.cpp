// SqlDialect: a small scanner that rewrites date literals outside quoted text.
#include "dbengine/SqlDialect.h"

#include <QRegularExpression>

namespace dbengine {

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

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

/// Whether the word `word` (ASCII, any case) stands at i as a word of its own.
bool wordAt(const QString& sql, qsizetype i, QLatin1StringView word) {
    if (i > 0 && isWordChar(sql.at(i - 1)))
        return false;
    if (i + word.size() > sql.size() || QStringView(sql).mid(i, word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    return i + word.size() == sql.size() || !isWordChar(sql.at(i + word.size()));
}

/// The end of the quoted text starting at i (the closing quote's place, or the end); a doubled
/// quote stays inside it.
qsizetype quotedEnd(const QString& sql, qsizetype i) {
    const QChar q = sql.at(i);
    qsizetype j = i + 1;
    while (j < sql.size()) {
        if (sql.at(j) == q) {
            if (j + 1 < sql.size() && sql.at(j + 1) == q) {
                j += 2;
                continue;
            }
            break;
        }
        ++j;
    }
    return j;
}

QString asciiLower(QString s) {
    for (QChar& c : s)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return s;
}

enum class Engine { Sqlite, Postgres };

/// A closing "Order By key [Asc|Desc], …" as PostgreSQL must read it to give SQLite's order: Nulls
/// first when ascending and last when descending (PostgreSQL does the reverse), and rows with equal
/// keys in the order SQLite gives them from its tables: titles of msDoc by page number, siblings of
/// the same place (inSrt) by child page. Empty when the clause is of another form (left as it is).
QString postgresOrder(QStringView rest, const QString& before) {
    static const QRegularExpression clause(QStringLiteral("^Order\\s+By\\s+(.*?)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression keyRe(QStringLiteral("^\\s*((?:(\\w+)\\.)?(\\w+))(?:\\s+(Asc|Desc))?\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    // A statement on msDoc alone (the find), and one on the page tree as T (children, code list).
    static const QRegularExpression fromDocs(
        QStringLiteral("^\\s*Select\\s+[^()]*?\\bFrom\\s+msDoc\\b(?:(?!\\bFrom\\b).)*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression fromTree(QStringLiteral("^\\s*Select\\s+[^()]*?\\bFrom\\s+tbTree\\s+T\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    const auto m = clause.match(rest);
    if (!m.hasMatch())
        return {};
    QStringList keys;
    QString last, lastTable;
    for (const QString& key : m.captured(1).split(QLatin1Char(','))) {
        const auto k = keyRe.match(key);
        if (!k.hasMatch())
            return {};
        const bool desc = k.captured(4).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0;
        keys << k.captured(1) + (desc ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" NULLS FIRST"));
        last = k.captured(3);
        lastTable = k.captured(2);
    }
    const QString prefix = lastTable.isEmpty() ? QString() : lastTable + QLatin1Char('.');
    if (keys.size() == 1 && last.compare(QLatin1String("szDoc"), Qt::CaseInsensitive) == 0 &&
        fromDocs.match(before).hasMatch())
        keys << QStringLiteral("noDoc");
    else if (last.compare(QLatin1String("inSrt"), Qt::CaseInsensitive) == 0)
        keys << prefix + QStringLiteral("noLfC");
    else if (fromTree.match(before).hasMatch()) // rows equal by their keys in their tree order
        keys << QStringLiteral("T.inSrt NULLS FIRST") << QStringLiteral("T.noLfC");
    return QStringLiteral("Order By ") + keys.join(QStringLiteral(", ")) + QLatin1Char(' ');
}

/// Rewrites what the engine does not read as Jet means it, outside quoted text.
QString translate(const QString& sql, Engine engine) {
    static const QRegularExpression convertRe(QStringLiteral("convert\\s*\\(\\s*datetime\\s*,\\s*'([^']*)'\\s*\\)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const bool pg = engine == Engine::Postgres;
    auto dateLiteral = [&](const QDateTime& t) {
        return (pg ? QStringLiteral("TIMESTAMP ") : QString()) + quoted(t);
    };
    QString out;
    out.reserve(sql.size() + 64);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype j = quotedEnd(sql, i);
            out += sql.mid(i, j - i + 1);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('#')) {
            const qsizetype close = sql.indexOf(QLatin1Char('#'), i + 1);
            if (close > i) {
                const QDateTime t = SqlDialect::parseJetDate(sql.mid(i + 1, close - i - 1));
                if (t.isValid()) {
                    out += dateLiteral(t);
                    i = close + 1;
                    continue;
                }
            }
        } else if ((c == QLatin1Char('c') || c == QLatin1Char('C')) && (i == 0 || !isWordChar(sql.at(i - 1)))) {
            const auto m =
                convertRe.match(sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch()) {
                const QDateTime t = parseConvertDate(m.captured(1));
                if (t.isValid()) {
                    out += dateLiteral(t);
                    i += m.capturedLength(0);
                    continue;
                }
            }
        } else if (pg && (c == QLatin1Char('l') || c == QLatin1Char('L')) &&
                   wordAt(sql, i, QLatin1StringView("like"))) {
            // SQLite's Like ignores the case of ASCII letters only and knows no escape character:
            // both sides are compared with ASCII letters lowered, and escaping is switched off. The
            // left side is the column (or "Not" and the column) just before.
            qsizetype end = out.size();
            while (end > 0 && out.at(end - 1).isSpace())
                --end;
            qsizetype start = end;
            while (start > 0 && (isWordChar(out.at(start - 1)) || out.at(start - 1) == QLatin1Char('.')))
                --start;
            QString prefix;
            if (QStringView(out).mid(start, end - start).compare(QLatin1StringView("not"), Qt::CaseInsensitive) == 0) {
                prefix = QStringLiteral(" NOT");
                end = start;
                while (end > 0 && out.at(end - 1).isSpace())
                    --end;
                start = end;
                while (start > 0 && (isWordChar(out.at(start - 1)) || out.at(start - 1) == QLatin1Char('.')))
                    --start;
            }
            qsizetype k = i + 4;
            while (k < n && sql.at(k).isSpace())
                ++k;
            if (start < end && k < n && sql.at(k) == QLatin1Char('\'')) {
                const QString column = out.mid(start, end - start);
                const qsizetype close = quotedEnd(sql, k);
                out.truncate(start);
                // lower() under the "C" collation lowers ASCII letters only, byte by byte.
                out += QStringLiteral("lower(%1 COLLATE \"C\")%2 LIKE ").arg(column, prefix) +
                       asciiLower(sql.mid(k, close - k + 1)) + QStringLiteral(" ESCAPE ''");
                i = close + 1;
                continue;
            }
        } else if (pg && (c == QLatin1Char('o') || c == QLatin1Char('O')) &&
                   wordAt(sql, i, QLatin1StringView("order"))) {
            if (const QString order = postgresOrder(QStringView(sql).mid(i), out); !order.isEmpty()) {
                out += order;
                break;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

QString SqlDialect::toSqlite(const QString& sql) {
    return translate(sql, Engine::Sqlite);
}

QString SqlDialect::toPostgres(const QString& sql) {
    return translate(sql, Engine::Postgres);
}

} // namespace dbengine
