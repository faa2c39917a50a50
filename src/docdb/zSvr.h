// zSvr: the database session (the one connection to the open document database) and its queries.
#pragma once

#include "dbengine/DbProvider.h"
#include "docdb/Recordset.h"
#include "platform/MessageBox.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

namespace util {
class zClt;
}
namespace platform {
class IServerWait;
}

namespace docdb {

class StatementThread;

/// zSvr: the database session. Opens a .txdb/.mdb file (Jet provider name) or a .udl data link,
/// checks the document-database marker, and answers every read and change of the program.
/// None of the query operations shows a message; opening reports through the message box.
class zSvr {
public:
    zSvr(platform::IMessageBox& messages, const util::zClt& files);
    ~zSvr();
    Q_DISABLE_COPY_MOVE(zSvr)

    /// Opens the database file sFL. Empty or missing files return at once with bOk unchanged.
    /// Otherwise the previous connection is closed first; a provider failure gives bOk False and
    /// "DataBase Open Error !!", a missing marker table bOk False and sFL + " は文書DBではありません".
    void D_StDcDb(const QString& sFL, bool& bOk);
    /// Closes and releases the connection; errors are ignored.
    void D_Close();
    /// True while a connection is open.
    bool isOpen() const { return m_conn != nullptr; }
    /// The open database's file (full path); "" when closed or on a server.
    QString databaseFile() const { return m_databaseFile; }
    /// The Jet flag: the provider of the last successful open has "jet" in its name.
    bool bJet() const { return m_bJet; }
    /// Whether the open database can only be read (true when closed).
    bool isReadOnly() const { return !m_conn || m_readOnly; }
    /// The provider name of the open connection ("" when closed).
    QString providerName() const;
    /// How the window waits for a server (set by the window; a program without one leaves it null).
    /// With it, a server database's statements run on a thread of their own: one that has not
    /// answered within half a second is waited for with the window painting, and can be cancelled;
    /// the action then ends as on a read error. A lost connection is told once, and the rest of the
    /// action's statements fail at once; the next action connects again.
    void setServerWait(platform::IServerWait* wait) { m_wait = wait; }
    /// True while a statement is being waited for with the window going on: work started by a
    /// timer should leave its turn out.
    bool waiting() const { return m_waiting > 0; }
    /// True while the statements fail at once after a cancel or a lost connection (until the user's
    /// next key or click): work started by a timer should stop rather than go on without its data.
    bool stopped() const { return *m_stopped; }
    static constexpr int kPatienceMs = 500;

    /// Work done around each of our writes while the write lock is held (see dbengine::WriteWatch);
    /// kept for every connection opened later too.
    void setWriteWatch(const dbengine::WriteWatch& watch);

    /// The connection string for a path: "FILE NAME=" + path for ".udl", else the Jet string
    /// with the path at the first "?"; a path the string's syntax could misread is quoted.
    static QString connectionString(const QString& sFL);

    /// Fills the "?" placeholders of sQ in order. Null removes its placeholder; a "?" inside a value
    /// is kept as text and is not a placeholder; surplus values or placeholders are left. Single quotes of a value that
    /// fills a quoted placeholder ('?') are doubled, so the value is stored as given. Throws util::VbError for an empty
    /// value list.
    static void T_CnvSq(QString& sQ, const QVariantList& vAry);

    /// Executes a statement without rows; bOk tells success, nCn receives the affected rows (kept on
    /// failure). bNoErr has no effect: nothing is ever shown.
    void D_ExeSq(const QString& sQ, bool& bOk, qint32& nCn, bool bNoErr = false);
    /// Runs the statements as one transaction: all are written or none. Another program's lock is
    /// waited for about two seconds. bOk tells success; out holds each statement's changed rows, the
    /// rows the server changed besides, and on failure its kind. The reason in the user's words is
    /// failureText(out).
    void D_ExeTx(const QStringList& sQs, bool& bOk, dbengine::WriteOutcome& out);
    /// Why a write failed, in the user's words (Japanese), with the engine's detail where it helps.
    static QString failureText(const dbengine::WriteOutcome& out);
    /// How long a write waits for another program's lock.
    static constexpr int kLockWaitMs = 2000;

    /// Opens xRs on sQ in mode iTyp (0 forward-only read-only, 2 keyset optimistic); bOk tells success.
    void R_Rset(const QString& sQ, Recordset& xRs, bool& bOk, qint16 iTyp);
    /// All rows as a column × row array; nCn the row count (0 on failure or no rows).
    void R_Ary(const QString& sQ, RowArray& vAry, qint32& nCn);
    /// The first column of the first row, converted to vDef's type; vDef when there is none, it is
    /// Null, it does not convert, or the read fails.
    void R_GtVaL(const QString& sQ, QVariant& vVL, const QVariant& vDef);

    template <typename T> void R_GtVaL(const QString& sQ, T& vVL, const T& vDef) {
        QVariant v;
        R_GtVaL(sQ, v, QVariant::fromValue(vDef));
        vVL = v.value<T>();
    }

    /// How many statements this session has sent to the database (reads, changes, and each
    /// transaction as one): what a round trip to a server costs is counted by it.
    qint64 statementCount() const { return m_statements; }

    /// The reason of the last failure of the provider (for logging and tests; never shown).
    QString lastError() const { return m_lastError; }
    /// The connection string the open database was opened with ("" when none is open): another
    /// connection to the same database (the find's, on a thread of its own) opens with it.
    QString connectionText() const { return m_conn ? m_connectionText : QString(); }

private:
    void ChkDmFmt(bool& bOk);
    bool read(const QString& sQ, dbengine::DbRows& rows, qint64 maxRows = -1);
    /// What a statement gives back from the connection's thread.
    struct Outcome {
        bool ok = false;
        QString error;
        dbengine::DbRows rows;
        qint32 affected = 0;
        dbengine::WriteOutcome write;
        bool lost = false;
        bool cancelled = false; // by the user, while it was waited for
    };
    /// Runs work on the connection: on the caller's thread, or on the server connection's own while
    /// the window waits (see setServerWait). The work must hold nothing of the caller's: a statement
    /// that was cancelled may still end after the caller has gone on. False when it did not run to
    /// its end (no connection, cancelled, or the action was stopped).
    bool onConnection(const std::function<void(dbengine::IDbConnection&, Outcome&)>& work, Outcome& out);
    /// The statements still to come in this action fail at once (after a lost connection, told when
    /// tell is set, or a cancel); the user's next action runs them again.
    void stopUntilNextAction(bool tell);

    platform::IMessageBox& m_messages;
    const util::zClt& m_files;
    std::shared_ptr<dbengine::IDbConnection> m_conn;
    std::unique_ptr<StatementThread> m_thread; // a server connection's, with a window
    platform::IServerWait* m_wait = nullptr;
    int m_waiting = 0;
    std::shared_ptr<bool> m_stopped = std::make_shared<bool>(false); // see stopUntilNextAction
    bool m_lostTold = false; // the loss of the connection was told, and no statement has worked since
    QString m_databaseFile, m_providerName;
    bool m_readOnly = true;
    QString m_commandText; // the shared command's text: every read replaces it
    bool m_bJet = false;
    qint32 m_readCursorType = 0; // forward-only; no operation changes it
    QString m_lastError;
    QString m_connectionText;
    dbengine::WriteWatch m_watch;
    qint64 m_statements = 0;
};

} // namespace docdb
