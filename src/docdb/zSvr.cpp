// zSvr: opening, checking and querying the document database.
#include "docdb/zSvr.h"

#include "dbengine/ConnectionString.h"
#include "docdb/Schema.h"
#include "docdb/StatementThread.h"
#include "platform/ServerWait.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QCoreApplication>
#include <QLocale>
#include <QLoggingCategory>
#include <QScopeGuard>

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
    return m_conn ? m_providerName : QString();
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
    std::shared_ptr<dbengine::IDbConnection> conn;
    if (m_wait) {
        // A server may take its time to answer a sign-in: the window waits for it as for a statement.
        auto thread = std::make_unique<StatementThread>();
        struct Opened {
            std::unique_ptr<dbengine::IDbConnection> conn;
            QString error;
        };
        auto opened = std::make_shared<Opened>();
        const auto job = thread->post([opened, text] { opened->conn = dbengine::DbProviders::open(text, opened->error); });
        bool finished = job->waitFor(kPatienceMs);
        if (!finished) {
            ++m_waiting;
            const auto done = qScopeGuard([this] { --m_waiting; });
            finished = m_wait->wait([job] { return job->done(); }, [job](int) { job->cancel(); }) && job->done();
        }
        if (!finished) { // cancelled: the sign-in ends on its thread by itself, and nothing is shown
            thread->abandon();
            m_lastError = QStringLiteral("opening was cancelled");
            bOk = false;
            return;
        }
        conn = std::move(opened->conn);
        error = opened->error;
        if (conn && conn->databaseFile().isEmpty())
            m_thread = std::move(thread);
    } else {
        conn = dbengine::DbProviders::open(text, error);
    }
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
    m_databaseFile = m_conn->databaseFile();
    m_providerName = m_conn->providerName();
    m_readOnly = m_conn->isReadOnly();
    m_lostTold = false;
    *m_stopped = false;
    m_bJet = m_conn->providerName().contains(QStringLiteral("jet"), Qt::CaseInsensitive);
    ChkDmFmt(bOk);
    if (bOk)
        return;
    m_messages.show(sFL + QStringLiteral(" は文書DBではありません"));
    bOk = false;
}

void zSvr::D_Close() {
    if (m_thread && m_waiting > 0)
        m_thread->abandon(); // closed from within a wait: the statement ends on its thread by itself
    m_thread.reset();
    m_conn.reset();
    m_commandText.clear();
    m_databaseFile.clear();
    m_providerName.clear();
}

bool zSvr::onConnection(const std::function<void(dbengine::IDbConnection&, Outcome&)>& work, Outcome& out) {
    out = Outcome();
    if (!m_conn) {
        out.error = QStringLiteral("no open connection");
        return false;
    }
    ++m_statements;
    if (!m_thread) {
        work(*m_conn, out);
        return true;
    }
    if (*m_stopped) {
        out.error = QStringLiteral("the action was stopped (cancelled, or the connection was lost)");
        return false;
    }
    // The work, the connection and the outcome are shared with the thread: a cancelled statement
    // may end after this call has returned.
    const auto result = std::make_shared<Outcome>();
    const std::shared_ptr<dbengine::IDbConnection> conn = m_conn;
    const auto job = m_thread->post([conn, result, work] {
        work(*conn, *result);
        result->lost = conn->connectionLost();
    });
    bool finished = job->waitFor(kPatienceMs), cancelled = false;
    if (!finished) {
        ++m_waiting;
        const auto done = qScopeGuard([this] { --m_waiting; });
        // Cancel: a statement not yet started never starts; a running one is asked to stop on the
        // server, and when that is not answered either, the connection is cut.
        cancelled = !m_wait->wait([job] { return job->done(); },
                                  [job, conn](int attempt) {
                                      // One not yet started is some other statement's wait:
                                      // that statement is left alone.
                                      if (job->cancel() || job->done())
                                          return;
                                      if (attempt == 1)
                                          conn->interrupt();
                                      else
                                          conn->cut();
                                  });
        finished = job->done();
    }
    if (cancelled || !finished) {
        out.error = QStringLiteral("the statement was cancelled");
        out.cancelled = true;
        stopUntilNextAction(false);
        return false;
    }
    out = std::move(*result);
    if (out.lost) {
        stopUntilNextAction(!m_lostTold);
        m_lostTold = true;
    } else if (out.ok) {
        m_lostTold = false;
    }
    return true;
}

namespace {

/// Ends a stop of the statements at the user's next action: a key or a button pressed anywhere.
class NextAction final : public QObject {
public:
    explicit NextAction(std::weak_ptr<bool> stopped) : m_stopped(std::move(stopped)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
            if (const auto f = m_stopped.lock())
                *f = false;
            deleteLater();
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::weak_ptr<bool> m_stopped;
};

} // namespace

void zSvr::stopUntilNextAction(bool tell) {
    if (*m_stopped || !QCoreApplication::instance())
        return;
    // Told first: the press that closes the message is no new action.
    if (tell)
        m_messages.show(QStringLiteral("サーバーとの接続が切れました。次の操作のときに接続し直します"));
    *m_stopped = true;
    // The action may let the window's events run between its statements: only the user's next key
    // or click ends the stop (and the statement after it connects again).
    QCoreApplication::instance()->installEventFilter(new NextAction(m_stopped));
}

void zSvr::ChkDmFmt(bool& bOk) {
    dbengine::DbRows rows;
    bOk = read(sql::kMarkerOpen, rows, 1); // the marker table must read; one row tells it
}

bool zSvr::read(const QString& sQ, dbengine::DbRows& rows, qint64 maxRows) {
    m_commandText = sQ;
    Outcome out;
    onConnection([sQ, maxRows](dbengine::IDbConnection& c, Outcome& o) { o.ok = c.query(sQ, o.rows, o.error, maxRows); },
                 out);
    if (!out.ok) {
        m_lastError = out.error;
        qCDebug(lcDocdb) << "read failed:" << sQ << out.error;
        return false;
    }
    rows = std::move(out.rows);
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
    Outcome out;
    onConnection([sQ](dbengine::IDbConnection& c, Outcome& o) { o.ok = c.execute(sQ, o.affected, o.error); }, out);
    if (!out.ok) {
        m_lastError = out.error;
        qCDebug(lcDocdb) << "execute failed:" << sQ << out.error;
        bOk = false;
        return;
    }
    nCn = out.affected;
    bOk = true;
}

void zSvr::setWriteWatch(const dbengine::WriteWatch& watch) {
    m_watch = watch;
    if (m_conn)
        m_conn->setWriteWatch(m_watch);
}

void zSvr::D_ExeTx(const QStringList& sQs, bool& bOk, dbengine::WriteOutcome& out) {
    Outcome o;
    const bool ran = onConnection(
        [sQs](dbengine::IDbConnection& c, Outcome& r) { r.ok = c.executeAll(sQs, kLockWaitMs, r.write); }, o);
    out = std::move(o.write);
    bOk = o.ok;
    if (o.cancelled) { // the server may have taken the commit before the cancel reached it
        out.failure = dbengine::WriteFailure::Other;
        out.error = QStringLiteral("キャンセルしました。変更が書き込まれたかどうかは、データベースを開き直すと確かめられます");
    } else if (!ran) { // not sent: the connection is gone (or was, earlier in this action)
        out.failure = dbengine::WriteFailure::Lost;
        out.error = o.error;
    }
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
