// zSvr: opening, checking and querying the document database.
#include "docdb/zSvr.h"

#include "dbengine/ConnectionString.h"
#include "docdb/Schema.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QLocale>
#include <QLoggingCategory>

#include <cmath>

Q_LOGGING_CATEGORY(lcDocdb, "dbtext.docdb", QtWarningMsg)

namespace docdb {

namespace {

bool isWholeNumberType(QMetaType t) {
    switch (t.id()) {
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return true;
    default:
        return false;
    }
}

/// Converts v in place to the whole-number type t as VB's CInt/CLng do: halves go to the even
/// neighbour, and a value outside the type's range, or one that is no number, does not convert.
bool toWholeNumber(QVariant& v, QMetaType t) {
    double d = 0;
    bool ok = false;
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        d = v.toBool() ? -1 : 0; // VB's True
        ok = true;
        break;
    case QMetaType::QString:
        d = QLocale::c().toDouble(v.toString().trimmed(), &ok);
        break;
    case QMetaType::LongLong: {
        const qlonglong n = v.toLongLong();
        if (t.id() == QMetaType::LongLong) {
            v = QVariant(n);
            return true;
        }
        d = double(n);
        ok = true;
        break;
    }
    default:
        d = v.toDouble(&ok);
        break;
    }
    if (!ok || !std::isfinite(d))
        return false;
    d = util::roundHalfEven(d);
    switch (t.id()) {
    case QMetaType::Short:
        if (d < -32768 || d > 32767)
            return false;
        v = QVariant::fromValue(short(d));
        return true;
    case QMetaType::Int:
    case QMetaType::Long:
        if (d < -2147483648.0 || d > 2147483647.0)
            return false;
        v = QVariant(int(d));
        if (t.id() == QMetaType::Long)
            v.convert(t);
        return true;
    default: // LongLong
        if (d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return false;
        v = QVariant(qlonglong(d));
        return true;
    }
}

} // namespace

zSvr::zSvr(platform::IMessageBox& messages, const util::zClt& files) : m_messages(messages), m_files(files) {}

zSvr::~zSvr() {
    D_Close();
}

QString zSvr::providerName() const {
    return m_conn ? m_conn->providerName() : QString();
}

QString zSvr::connectionString(const QString& sFL) {
    // The path is quoted where it needs to be, so that it names exactly this file: a path holding
    // ";" or "=" can neither break the string nor name another data source.
    const QString path = dbengine::ConnectionString::quoteValue(sFL);
    if (sFL.right(3).compare(QLatin1String("udl"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("FILE NAME=") + path;
    QString s = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;") +
                QStringLiteral("Data Source = ?;Persist Security Info=False");
    const qsizetype q = s.indexOf(QLatin1Char('?'));
    s.replace(q, 1, path);
    return s;
}

void zSvr::D_StDcDb(const QString& sFL, bool& bOk) {
    if (sFL.isEmpty())
        return;
    if (!m_files.FbExFile(sFL))
        return;
    D_Close();
    QString error;
    const QString text = connectionString(sFL);
    auto conn = dbengine::DbProviders::open(text, error);
    if (!conn) {
        m_lastError = error;
        qCDebug(lcDocdb) << "open failed:" << error;
        bOk = false;
        m_messages.show(QStringLiteral("DataBase Open Error !!"));
        return;
    }
    m_conn = std::move(conn);
    m_conn->setWriteWatch(m_watch);
    m_connectionText = text;
    m_bJet = m_conn->providerName().contains(QStringLiteral("jet"), Qt::CaseInsensitive);
    ChkDmFmt(bOk);
    if (bOk)
        return;
    m_messages.show(sFL + QStringLiteral(" は文書DBではありません"));
    bOk = false;
}

void zSvr::D_Close() {
    m_conn.reset();
    m_commandText.clear();
}

void zSvr::ChkDmFmt(bool& bOk) {
    dbengine::DbRows rows;
    bOk = read(sql::kMarkerOpen, rows, 1); // the marker table must read; one row tells it
}

bool zSvr::read(const QString& sQ, dbengine::DbRows& rows, qint64 maxRows) {
    m_commandText = sQ;
    if (!m_conn) {
        m_lastError = QStringLiteral("no open connection");
        return false;
    }
    QString error;
    ++m_statements;
    if (!m_conn->query(sQ, rows, error, maxRows)) {
        m_lastError = error;
        qCDebug(lcDocdb) << "read failed:" << sQ << error;
        return false;
    }
    return true;
}

void zSvr::T_CnvSq(QString& sQ, const QVariantList& vAry) {
    if (vAry.isEmpty())
        throw util::VbError(QStringLiteral("Subscript out of range"));
    // The search for the next placeholder starts after the text put in, so a value's own "?" is
    // kept as text and never filled.
    qsizetype from = 0;
    for (const QVariant& v : vAry) {
        const qsizetype at = sQ.indexOf(QLatin1Char('?'), from);
        if (util::isNull(v)) {
            if (at >= 0) {
                sQ.remove(at, 1);
                from = at;
            }
            continue;
        }
        if (at < 0)
            continue;
        QString text = util::CStr(v);
        // A value inside a quoted placeholder keeps its quotes as text.
        const bool quoted =
            at > 0 && at + 1 < sQ.size() && sQ.at(at - 1) == QLatin1Char('\'') && sQ.at(at + 1) == QLatin1Char('\'');
        if (quoted)
            text.replace(QLatin1Char('\''), QLatin1String("''"));
        sQ.replace(at, 1, text);
        from = at + text.size();
    }
}

void zSvr::D_ExeSq(const QString& sQ, bool& bOk, qint32& nCn, bool /*bNoErr*/) {
    if (!m_conn) {
        m_lastError = QStringLiteral("no open connection");
        bOk = false;
        return;
    }
    QString error;
    qint32 affected = 0;
    ++m_statements;
    if (!m_conn->execute(sQ, affected, error)) {
        m_lastError = error;
        qCDebug(lcDocdb) << "execute failed:" << sQ << error;
        bOk = false;
        return;
    }
    nCn = affected;
    bOk = true;
}

void zSvr::setWriteWatch(const dbengine::WriteWatch& watch) {
    m_watch = watch;
    if (m_conn)
        m_conn->setWriteWatch(m_watch);
}

void zSvr::D_ExeTx(const QStringList& sQs, bool& bOk, dbengine::WriteOutcome& out) {
    out = dbengine::WriteOutcome();
    if (!m_conn) {
        m_lastError = QStringLiteral("no open connection");
        out.failure = dbengine::WriteFailure::Lost;
        bOk = false;
        return;
    }
    ++m_statements;
    bOk = m_conn->executeAll(sQs, kLockWaitMs, out);
    if (!bOk) {
        m_lastError = out.error;
        qCDebug(lcDocdb) << "write failed:" << sQs << out.error;
    }
}

QString zSvr::failureText(const dbengine::WriteOutcome& out) {
    using dbengine::WriteFailure;
    switch (out.failure) {
    case WriteFailure::Locked:
        return QStringLiteral("ほかのプログラムがデータベースに書き込み中です。しばらくしてからもう一度お試しください");
    case WriteFailure::ReadOnly:
        return QStringLiteral("データベース (またはそのフォルダー) に書き込めません");
    case WriteFailure::Full:
        return QStringLiteral("ディスクに空きがありません");
    case WriteFailure::Refused:
        return QStringLiteral("データベースが変更を受け付けませんでした (") + out.error + QLatin1Char(')');
    case WriteFailure::Lost:
        return QStringLiteral("サーバーとの接続が切れました");
    case WriteFailure::None:
    case WriteFailure::Other:
        break;
    }
    return out.error;
}

void zSvr::R_Rset(const QString& sQ, Recordset& xRs, bool& bOk, qint16 iTyp) {
    bOk = false;
    if (xRs.isOpen())
        xRs.close();
    dbengine::DbRows rows;
    if (!read(sQ, rows))
        return;
    xRs.open(std::move(rows), iTyp == 2 ? qint16(2) : qint16(0));
    bOk = true;
}

void zSvr::R_Ary(const QString& sQ, RowArray& vAry, qint32& nCn) {
    vAry.clear();
    nCn = 0;
    dbengine::DbRows rows;
    if (!read(sQ, rows))
        return;
    if (rows.rows.empty())
        return;
    const int cols = int(rows.columns.size());
    vAry.m_cols.assign(size_t(cols), QVariantList());
    for (auto& col : vAry.m_cols)
        col.reserve(qsizetype(rows.rows.size()));
    for (auto& row : rows.rows)
        for (int c = 0; c < cols; ++c)
            vAry.m_cols[size_t(c)].append(std::move(row[c]));
    nCn = qint32(rows.rows.size());
}

void zSvr::R_GtVaL(const QString& sQ, QVariant& vVL, const QVariant& vDef) {
    vVL = vDef;
    dbengine::DbRows rows;
    if (!read(sQ, rows) || rows.rows.empty() || rows.rows.front().isEmpty())
        return;
    QVariant v = rows.rows.front().front();
    if (util::isNull(v))
        return;
    if (vDef.isValid() && v.metaType() != vDef.metaType()) {
        if (vDef.metaType().id() == QMetaType::QString) {
            v = util::CStr(v);
        } else if (isWholeNumberType(vDef.metaType())) {
            if (!toWholeNumber(v, vDef.metaType()))
                return; // not a number, or out of the caller's range: the default stays
        } else if (!v.convert(vDef.metaType())) {
            return; // a value that does not convert: the default stays
        }
    }
    vVL = v;
}

} // namespace docdb
