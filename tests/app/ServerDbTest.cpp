// Tests of server databases: the dialect the server is spoken to in, and the sample put on a private
// PostgreSQL server with dbtext-copy, then read through a data link as the reader reads a file.
#include "app/Usr.h"
#include "docdb/PageFind.h"
#include "docdb/Recordset.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "platform/SqlDialect.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "support/PgCluster.h"
#include "util/zClt.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::SqlDialect;

TEST(PostgresDialect, LikeComparesAsciiCaseFreeWithoutEscapesAndTitlesTieByPage) {
    const QString lower = QStringLiteral("lower(txDoc COLLATE \"C\")");
    EXPECT_EQ(SqlDialect::toPostgres(docdb::sql::kFindWhere +
                                     QStringLiteral("txDoc Like '%AbC\\_%'  And txDoc Like "
                                                    "'%Ｄ語%' ") +
                                     docdb::sql::kFindOrder),
              QStringLiteral(" Select noDoc, szDoc From msDoc Where ") + lower +
                  QStringLiteral(" LIKE '%abc\\_%' ESCAPE ''  And ") + lower +
                  QStringLiteral(" LIKE '%Ｄ語%' ESCAPE ''  Order By szDoc, noDoc "));
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
    EXPECT_EQ(SqlDialect::toPostgres(docdb::sql::kCodeList), docdb::sql::kCodeList);
}

class ServerDb : public ::testing::Test {
protected:
    void SetUp() override {
        pg = testsupport::PgCluster::shared();
        if (!pg)
            GTEST_SKIP() << testsupport::PgCluster::reason().toStdString();
        ASSERT_TRUE(tmp.isValid());
        static int serial = 0;
        const QString name = QStringLiteral("copy%1_%2").arg(::getpid()).arg(++serial);
        QString error;
        ASSERT_TRUE(pg->createDatabase(name, error)) << error.toStdString();
        udl = testsupport::writeUdl(tmp.filePath(QStringLiteral("server.udl")), pg->initString(name));
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
    QVector<docdb::FoundPage> find(docdb::zSvr& svr, const QString& words) {
        bool read = false;
        return docdb::findPages(svr, words, &read);
    }
    testsupport::PgCluster* pg = nullptr;
    QTemporaryDir tmp;
    QString udl;
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

    // And back to a file: the same rows.
    const QString back = tmp.filePath(QStringLiteral("back.txdb"));
    ASSERT_EQ(copy(udl, back, &err), 0) << err.toStdString();
    docdb::zSvr again(messages, clt);
    again.D_StDcDb(back, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(find(again, QStringLiteral("検索")), find(file, QStringLiteral("検索")));
    QVariant count;
    again.R_GtVaL(QStringLiteral("Select Count(*) From tbTree"), count, QVariant(0));
    file.R_GtVaL(QStringLiteral("Select Count(*) From tbTree"), stamped, QVariant(0));
    EXPECT_EQ(count, stamped);
    EXPECT_TRUE(messages.texts.isEmpty());
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
}
