// Tests of server databases: the dialect the server is spoken to in, and the sample put on a private
// PostgreSQL server with dbtext-copy, then read through a data link as the reader reads a file.
#include "app/Usr.h"
#include "dbengine/DbProvider.h"
#include "dbengine/SqlDialect.h"
#include "docdb/Recordset.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/FindEngine.h"
#include "find/PageFind.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "support/PgCluster.h"
#include "util/zClt.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

using dbengine::SqlDialect;

TEST(PostgresDialect, LikeComparesAsciiCaseFreeWithoutEscapesAndTitlesTieByPage) {
    const QString lower = QStringLiteral("lower(txDoc COLLATE \"C\")");
    EXPECT_EQ(SqlDialect::toPostgres(docdb::sql::kFindWhere +
                                     QStringLiteral("txDoc Like '%AbC\\_%'  And txDoc Like "
                                                    "'%Ｄ語%' ") +
                                     docdb::sql::kFindOrder),
              QStringLiteral(" Select noDoc, szDoc From msDoc Where ") + lower +
                  QStringLiteral(" LIKE '%abc\\_%' ESCAPE ''  And ") + lower +
                  QStringLiteral(" LIKE '%Ｄ語%' ESCAPE ''  Order By szDoc NULLS FIRST, noDoc "));
    EXPECT_EQ(
        SqlDialect::toPostgres(QStringLiteral("Select x From t Where T.a Not Like 'Q' And b = 'Like ''X'''")),
        QStringLiteral("Select x From t Where lower(T.a COLLATE \"C\") NOT LIKE 'q' ESCAPE '' And b = 'Like ''X'''"));
    // Dates of both forms; other orderings and quoted text are left as written.
    EXPECT_EQ(
        SqlDialect::toPostgres(QStringLiteral(" Update tbTree Set dyUdt = convert(datetime,'2026/12/06 14:05:09') "
                                              "Where noLfP = 0 And noLfC = '#12/06/26 14:05:09#' ")),
        QStringLiteral(" Update tbTree Set dyUdt = TIMESTAMP '2026-12-06 14:05:09' Where noLfP = 0 And noLfC = "
                       "'#12/06/26 14:05:09#' "));
    EXPECT_EQ(SqlDialect::toPostgres(QStringLiteral("Select 1 Where d < #01/02/30#")),
              QStringLiteral("Select 1 Where d < TIMESTAMP '1930-01-02 00:00:00'"));
    // Nulls where SQLite puts them (first going up, last going down), equal keys in SQLite's order.
    EXPECT_TRUE(SqlDialect::toPostgres(docdb::sql::kCodeList)
                    .endsWith(QStringLiteral("Order By D.dyUdt DESC NULLS LAST, T.inSrt NULLS FIRST, T.noLfC ")));
    EXPECT_TRUE(SqlDialect::toPostgres(docdb::sql::kChildren)
                    .endsWith(QStringLiteral("Order By T.inSrt NULLS FIRST, T.noLfC ")));
    // A title order inside a subquery on msDoc is no find: nothing is added to it.
    EXPECT_EQ(SqlDialect::toPostgres(QStringLiteral("Select szDoc From tbTree Where noLfC In (Select noDoc From msDoc) "
                                                    "Order By szDoc")),
              QStringLiteral(
                  "Select szDoc From tbTree Where noLfC In (Select noDoc From msDoc) Order By szDoc NULLS FIRST "));
    EXPECT_EQ(SqlDialect::toPostgres(docdb::sql::kFindAll),
              QStringLiteral(" Select noDoc, szDoc From msDoc Order By szDoc NULLS FIRST, noDoc "));
}

class ServerDb : public ::testing::Test {
protected:
    void SetUp() override {
        pg = testsupport::PgCluster::shared();
        if (!pg)
            GTEST_SKIP() << testsupport::PgCluster::reason().toStdString();
        ASSERT_TRUE(tmp.isValid());
        static int serial = 0;
        dbName = QStringLiteral("copy%1_%2").arg(::getpid()).arg(++serial);
        QString error;
        ASSERT_TRUE(pg->createDatabase(dbName, error)) << error.toStdString();
        udl = testsupport::writeUdl(tmp.filePath(QStringLiteral("server.udl")), pg->initString(dbName));
    }
    /// dbtext-copy FROM TO: its exit code, and what it wrote to stderr.
    int copy(const QString& from, const QString& to, QString* err = nullptr) {
        QProcess p;
        p.start(QStringLiteral(DBTEXT_COPY), {from, to});
        p.waitForFinished(120000);
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QVector<find::FoundPage> find(docdb::zSvr& svr, const QString& words) {
        bool read = false;
        return find::findPages(svr, words, &read);
    }
    /// A data link to a database on the test server, signing in as user (the server's own by default).
    QString linkTo(const QString& database, const QString& user = {}, const QString& password = {}) {
        QString init = pg->initString(database);
        if (!user.isEmpty())
            init.replace(QStringLiteral("User ID=") + pg->user(), QStringLiteral("User ID=") + user)
                .replace(QStringLiteral("Password=") + pg->password(), QStringLiteral("Password=") + password);
        return testsupport::writeUdl(tmp.filePath(database + user + QStringLiteral(".udl")), init);
    }
    /// The first column of a statement's rows, as text.
    static QStringList column(docdb::zSvr& svr, const QString& sql) {
        docdb::RowArray rows;
        qint32 n = 0;
        svr.R_Ary(sql, rows, n);
        QStringList out;
        for (int r = 0; r < n; ++r)
            out << rows(0, r).toString();
        return out;
    }
    testsupport::PgCluster* pg = nullptr;
    QTemporaryDir tmp;
    QString dbName, udl;
    testsupport::FakeMessageBox messages;
    util::zClt clt;
};

TEST_F(ServerDb, TheSampleCopiedToTheServerReadsFindsAndStampsAsTheFileDoes) {
    QString err;
    ASSERT_EQ(copy(testsupport::sampleDb(), udl, &err), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("100%"))) << err.toStdString(); // the progress bar ran to its end
    EXPECT_EQ(copy(testsupport::sampleDb(), udl, &err), 1);                 // the target holds tables now
    EXPECT_TRUE(err.contains(QStringLiteral("already holds tables"))) << err.toStdString();

    docdb::zSvr file(messages, clt), server(messages, clt);
    bool ok = false;
    file.D_StDcDb(testsupport::sampleDb(), ok);
    ASSERT_TRUE(ok);
    server.D_StDcDb(udl, ok);
    ASSERT_TRUE(ok) << server.lastError().toStdString();
    EXPECT_EQ(server.providerName(), QStringLiteral("PostgreSQL"));
    EXPECT_FALSE(server.bJet());
    EXPECT_TRUE(server.databaseFile().isEmpty());

    // Page 12 and the children of the top, as the file has them.
    for (docdb::zSvr* s : {&file, &server}) {
        docdb::Recordset rs;
        s->R_Rset(docdb::sql::kDocument + QStringLiteral("12"), rs, ok, 2);
        ASSERT_TRUE(ok);
    }
    docdb::Recordset a, b;
    file.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), a, ok, 2);
    server.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), b, ok, 2);
    EXPECT_EQ(a.field(QStringLiteral("obDoc")).toByteArray(), b.field(QStringLiteral("obDoc")).toByteArray());
    EXPECT_EQ(a.field(QStringLiteral("szDoc")), b.field(QStringLiteral("szDoc")));
    QString children = docdb::sql::kChildren;
    children.replace(QLatin1Char('?'), QLatin1String("0"));
    docdb::RowArray fileRows, serverRows;
    qint32 n1 = 0, n2 = 0;
    file.R_Ary(children, fileRows, n1);
    server.R_Ary(children, serverRows, n2);
    ASSERT_EQ(n1, n2);
    for (int r = 0; r < n1; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(fileRows(c, r).toString(), serverRows(c, r).toString()) << r << "," << c;

    // The find: the same pages in the same order, ASCII case and wildcards as SQLite has them.
    for (const char* words : {"検索", "DB text", "ペ_ジ", "の%ページ", "zzz-none", "", "it's"})
        EXPECT_EQ(find(file, QString::fromUtf8(words)), find(server, QString::fromUtf8(words))) << words;

    // A rename's stamp takes the server's date form and stores the time.
    const QDateTime when(QDate(2026, 12, 8), QTime(9, 30, 15));
    app::StmpTrDt(server, QStringLiteral("0"), QStringLiteral("1"), ok, false, when);
    ASSERT_TRUE(ok) << server.lastError().toStdString();
    QVariant stamped;
    server.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP = 0 And noLfC = 1"), stamped, QVariant());
    EXPECT_EQ(stamped.toDateTime(), when);

    // And back to a file (given as an empty file): the same rows, and the same tables, with their
    // names, keys, defaults and required columns.
    const QString back = tmp.filePath(QStringLiteral("back.txdb"));
    ASSERT_TRUE(testsupport::writeBytes(back, QByteArray()));
    ASSERT_EQ(copy(udl, back, &err), 0) << err.toStdString();
    EXPECT_FALSE(QFile::exists(back + QStringLiteral(".dbtext-copy")));
    docdb::zSvr again(messages, clt);
    again.D_StDcDb(back, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(find(again, QStringLiteral("検索")), find(file, QStringLiteral("検索")));
    QVariant count;
    again.R_GtVaL(QStringLiteral("Select Count(*) From tbTree"), count, QVariant(0));
    file.R_GtVaL(QStringLiteral("Select Count(*) From tbTree"), stamped, QVariant(0));
    EXPECT_EQ(count, stamped);
    for (const char* table : {"tbTree", "msDoc", "msDxml", "kaUsr"}) {
        const QString info =
            QStringLiteral("Select name || ' ' || \"notnull\" || ' ' || coalesce(dflt_value, '-') || ' ' || pk "
                           "From pragma_table_info('%1')")
                .arg(QLatin1String(table));
        EXPECT_EQ(column(again, info), column(file, info)) << table;
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ServerDb, ARenameIsOneTransactionThatWaitsForLocksBrieflyAndTellsWhatTheServerChangedBesides) {
    ASSERT_EQ(copy(testsupport::sampleDb(), udl), 0);
    docdb::zSvr server(messages, clt);
    bool ok = false;
    server.D_StDcDb(udl, ok);
    ASSERT_TRUE(ok) << server.lastError().toStdString();
    auto title = [&] {
        QString t;
        server.R_GtVaL(QStringLiteral("Select szDoc From tbTree Where noLfP = 0 And noLfC = 1"), t, QString());
        return t;
    };
    const QString before = title();
    const QDateTime when(QDate(2026, 12, 8), QTime(9, 30, 15));
    const QStringList rename = {QStringLiteral("Update tbTree Set szDoc='新' Where noLfP=0 and noLfC=1"),
                                app::stampStatement(server, QStringLiteral("0"), QStringLiteral("1"), false, when)};
    dbengine::WriteOutcome out;
    QString error;
    // Another session holds the table: the rename gives up after a moment, and nothing is written.
    {
        auto other = dbengine::DbProviders::open(docdb::zSvr::connectionString(udl), error);
        ASSERT_TRUE(other) << error.toStdString();
        qint32 n = 0;
        ASSERT_TRUE(other->execute(QStringLiteral("BEGIN"), n, error));
        ASSERT_TRUE(other->execute(QStringLiteral("LOCK TABLE tbTree IN EXCLUSIVE MODE"), n, error));
        QElapsedTimer t;
        t.start();
        server.D_ExeTx(rename, ok, out);
        EXPECT_FALSE(ok);
        EXPECT_EQ(out.failure, dbengine::WriteFailure::Locked) << out.error.toStdString();
        EXPECT_LT(t.elapsed(), 10000);
        EXPECT_EQ(title(), before);
    }
    // A trigger of the server's adds a row elsewhere: the rename is written and the extra row told.
    ASSERT_TRUE(pg->execute(dbName,
                            QStringLiteral("CREATE TABLE audit (n int); CREATE FUNCTION note() RETURNS trigger "
                                           "LANGUAGE plpgsql AS $$BEGIN INSERT INTO audit VALUES (1); RETURN NEW; "
                                           "END$$; CREATE TRIGGER noted AFTER UPDATE ON tbtree FOR EACH ROW "
                                           "EXECUTE FUNCTION note()"),
                            error))
        << error.toStdString();
    server.D_ExeTx(rename, ok, out);
    ASSERT_TRUE(ok) << out.error.toStdString();
    EXPECT_EQ(out.affected, (QList<qint32>{1, 1}));
    EXPECT_EQ(out.otherRows, 2); // one audit row for each of the two updates
    EXPECT_EQ(title(), QStringLiteral("新"));
    // A trigger that refuses: the server's reason, and neither the title nor its date written.
    ASSERT_TRUE(pg->execute(dbName,
                            QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                                           "IF NEW.dyudt > '2026-12-01' THEN RAISE EXCEPTION 'no new dates'; END IF; "
                                           "RETURN NEW; END$$; CREATE TRIGGER refused BEFORE UPDATE ON tbtree FOR "
                                           "EACH ROW EXECUTE FUNCTION refuse()"),
                            error))
        << error.toStdString();
    const QStringList again = {QStringLiteral("Update tbTree Set szDoc='別' Where noLfP=0 and noLfC=1"), rename[1]};
    server.D_ExeTx(again, ok, out);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.failure, dbengine::WriteFailure::Refused);
    EXPECT_TRUE(docdb::zSvr::failureText(out).contains(QStringLiteral("no new dates")));
    EXPECT_EQ(title(), QStringLiteral("新"));
}

TEST_F(ServerDb, CopiesWithoutTheTrigramIndexWhenTheUserMayNotAddItAndListsTiesAndNullsAsTheFileDoes) {
    // Equal titles, a Null title, siblings at the same place, Null dates in a code list, no msDxml.
    samples::DocDbContent c;
    for (int no = 1; no <= 9; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = no == 9 ? QStringLiteral("code") : QStringLiteral("same");
        p.obDoc = QByteArray("<p>word ") + QByteArray::number(no) + "</p>";
        p.updated = no == 2 || no == 3 ? QDateTime() : QDateTime(QDate(2026, 1, no), QTime(8, 0));
        p.boCod = no == 9 ? 1 : 0;
        c.pages << p;
        samples::TreeRow e;
        e.parent = no <= 4 && no >= 2 ? 9 : 0;
        e.child = no;
        e.order = 1;
        e.title = p.title;
        c.edges << e;
    }
    const QString file = testsupport::writeDb(tmp.path(), QStringLiteral("ties.txdb"), c);
    docdb::zSvr fileSvr(messages, clt);
    bool ok = false;
    fileSvr.D_StDcDb(file, ok);
    ASSERT_TRUE(ok);
    qint32 n = 0;
    fileSvr.D_ExeSq(QStringLiteral("Update msDoc Set szDoc = Null Where noDoc = 5"), ok, n);
    ASSERT_TRUE(ok);
    fileSvr.D_ExeSq(QStringLiteral("Drop Table msDxml"), ok, n); // a database without attached XML
    ASSERT_TRUE(ok);

    // A user who may create tables but not extensions (the server's own user set this up).
    QString error;
    ASSERT_TRUE(pg->execute(QStringLiteral("postgres"),
                            QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles "
                                           "WHERE rolname = 'plain') THEN CREATE ROLE plain "
                                           "LOGIN PASSWORD 'plain-pw'; END IF; END $$"),
                            error))
        << error.toStdString();
    const QString name = QStringLiteral("plain%1").arg(::getpid());
    ASSERT_TRUE(pg->createDatabase(name, error)) << error.toStdString();
    const QString link = linkTo(name, QStringLiteral("plain"), QStringLiteral("plain-pw"));
    ASSERT_TRUE(pg->execute(name, QStringLiteral("GRANT CREATE, USAGE ON SCHEMA public TO plain"), error));
    ASSERT_TRUE(pg->execute(name, QStringLiteral("REVOKE CREATE ON DATABASE \"%1\" FROM PUBLIC").arg(name), error));
    QString err;
    ASSERT_EQ(copy(file, link, &err), 0) << err.toStdString();
    QString value;
    ASSERT_TRUE(pg->execute(name, QStringLiteral("SELECT count(*) FROM msdoc"), error, &value));
    EXPECT_EQ(value, QStringLiteral("9")); // the rows are there, only the trigram index is not
    ASSERT_TRUE(pg->execute(name, QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = 'msdoc_text'"),
                            error, &value));
    EXPECT_EQ(value, QStringLiteral("0"));

    docdb::zSvr server(messages, clt);
    server.D_StDcDb(link, ok);
    ASSERT_TRUE(ok) << server.lastError().toStdString();
    EXPECT_FALSE(server.isReadOnly());
    // A user who may only read: the database opens read-only (no renaming offered).
    ASSERT_TRUE(pg->execute(name,
                            QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = "
                                           "'reader') THEN CREATE ROLE reader LOGIN PASSWORD 'reader-pw'; END IF; "
                                           "END $$; GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader"),
                            error))
        << error.toStdString();
    const QString readOnly = linkTo(name, QStringLiteral("reader"), QStringLiteral("reader-pw"));
    docdb::zSvr reader(messages, clt);
    reader.D_StDcDb(readOnly, ok);
    ASSERT_TRUE(ok) << reader.lastError().toStdString();
    EXPECT_TRUE(reader.isReadOnly());
    // Rows moved on the server, as edits move them, change nothing.
    server.D_ExeSq(QStringLiteral("Update msDoc Set boCod = 0 Where noDoc In (2, 4)"), ok, n);
    server.D_ExeSq(QStringLiteral("Update tbTree Set inSrt = 1 Where noLfC In (6, 1)"), ok, n);
    QString children = docdb::sql::kChildren, code = docdb::sql::kCodeList;
    children.replace(QLatin1Char('?'), QLatin1String("0"));
    code.replace(QLatin1Char('?'), QLatin1String("9"));
    const QString run = docdb::sql::kRunSelect + docdb::sql::kRunWhere + QStringLiteral("0") + docdb::sql::kRunHide +
                        docdb::sql::kRunOrder;
    for (const QString& sql :
         {docdb::sql::kFindAll,
          docdb::sql::kFindWhere + find::findCondition(QStringLiteral("word")) + docdb::sql::kFindOrder, children, code,
          run}) {
        EXPECT_EQ(column(server, sql), column(fileSvr, sql)) << sql.toStdString();
        EXPECT_EQ(column(server, sql).size(), sql == code ? 3 : sql == children || sql == run ? 6 : 9);
    }
}

TEST_F(ServerDb, AServerThatStopsAnsweringFailsTheReadAndTheFindLetsGoWithinTheTimeOut) {
    ASSERT_EQ(copy(testsupport::sampleDb(), udl), 0);
    docdb::zSvr server(messages, clt);
    bool ok = false;
    server.D_StDcDb(udl, ok);
    ASSERT_TRUE(ok);
    int backend = 0;
    server.R_GtVaL(QStringLiteral("Select pg_backend_pid()"), backend, 0);
    ASSERT_GT(backend, 0);
    const auto whole = pid_t(pg->serverPid());
    dbengine::DbProviders::setCommandTimeout(1000);
    const auto restore = qScopeGuard([&] {
        ::kill(whole, SIGCONT);
        ::kill(backend, SIGCONT);
        dbengine::DbProviders::setCommandTimeout(30000);
    });
    // The whole server stops answering, even requests to stop a statement.
    ASSERT_EQ(::kill(backend, SIGSTOP), 0);
    ASSERT_EQ(::kill(whole, SIGSTOP), 0);
    QElapsedTimer t;
    t.start();
    docdb::Recordset rs;
    server.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), rs, ok, 2);
    EXPECT_FALSE(ok);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(server.lastError().contains(QStringLiteral("did not answer"))) << server.lastError().toStdString();

    // A find on the stopped server, then the engine goes (the database closes): it lets go at once.
    ::kill(whole, SIGCONT);
    {
        find::FindEngine engine;
        engine.setDatabase(QString(), server.connectionText());
        ASSERT_TRUE(engine.find(QStringLiteral("検索")));
        QTest::qWait(300); // connected, and the statement sent
        int finder = 0;
        QString error;
        QString pid;
        pg->execute(QStringLiteral("postgres"),
                    QStringLiteral("SELECT max(pid) FROM pg_stat_activity WHERE application_name = 'dbtext'"), error,
                    &pid);
        finder = pid.toInt();
        if (finder > 0 && finder != backend)
            ::kill(finder, SIGSTOP);
        ::kill(whole, SIGSTOP);
        t.restart();
    }
    EXPECT_LT(t.elapsed(), 2000);
    ::kill(whole, SIGCONT);
    ::kill(backend, SIGCONT);
    server.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), rs, ok, 2);
    EXPECT_TRUE(ok) << server.lastError().toStdString(); // on a new connection
}

TEST_F(ServerDb, ALostServerFailsTheReadAndTheNextReadConnectsAgainWithoutShowingThePassword) {
    ASSERT_EQ(copy(testsupport::sampleDb(), udl), 0);
    docdb::zSvr server(messages, clt);
    bool ok = false;
    server.D_StDcDb(udl, ok);
    ASSERT_TRUE(ok);
    QString error;
    ASSERT_TRUE(pg->restart(error)) << error.toStdString(); // every connection dropped
    docdb::Recordset rs;
    server.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), rs, ok, 2);
    EXPECT_FALSE(ok); // the page view says "Read Err" for it
    server.R_Rset(docdb::sql::kDocument + QStringLiteral("12"), rs, ok, 2);
    EXPECT_TRUE(ok) << server.lastError().toStdString();

    // A wrong password: the open fails with the program's message; the password is nowhere.
    const QString wrong = QStringLiteral("Wrong-Secret-4711");
    const QString bad =
        testsupport::writeUdl(tmp.filePath(QStringLiteral("bad.udl")),
                              QString(pg->initString(QStringLiteral("postgres"))).replace(pg->password(), wrong));
    docdb::zSvr refused(messages, clt);
    refused.D_StDcDb(bad, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("DataBase Open Error !!")});
    EXPECT_FALSE(refused.lastError().isEmpty());
    EXPECT_FALSE(refused.lastError().contains(wrong));
    QString err;
    EXPECT_EQ(copy(bad, tmp.filePath(QStringLiteral("x.txdb")), &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("password authentication failed"))) << err.toStdString();
    EXPECT_FALSE(err.contains(wrong));

    // Encryption can be required; this server offers none, so the open is refused.
    for (const char* mode : {"require", "bogus"}) {
        const QString link =
            testsupport::writeUdl(tmp.filePath(QStringLiteral("ssl.udl")),
                                  pg->initString(QStringLiteral("postgres")) + QStringLiteral(";SSL Mode=") + mode);
        docdb::zSvr encrypted(messages, clt);
        encrypted.D_StDcDb(link, ok);
        EXPECT_FALSE(ok) << mode;
        EXPECT_TRUE(encrypted.lastError().contains(QStringLiteral("SSL"))) << encrypted.lastError().toStdString();
    }
    EXPECT_EQ(messages.texts.size(), 3);
}
