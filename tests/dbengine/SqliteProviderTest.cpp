// Tests of the SQLite provider: opening by connection string, refusing bad files, values read back.
#include "dbengine/SqliteProvider.h"
#include "dbengine/DbProvider.h"
#include "support/Fixtures.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using dbengine::DbProviders;
using dbengine::DbRows;

class SqliteProvider : public ::testing::Test {
protected:
    void SetUp() override { db = testsupport::writeDb(tmp.path(), QStringLiteral("s.txdb"), testsupport::smallTree()); }
    QTemporaryDir tmp;
    QString db;
};

TEST_F(SqliteProvider, JetStringOpensUnderTheJetName) {
    QString err;
    auto c = DbProviders::open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = ") + db +
                                   QStringLiteral(";Persist Security Info=False"),
                               err);
    ASSERT_TRUE(c) << err.toStdString();
    EXPECT_EQ(c->providerName(), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
}

TEST_F(SqliteProvider, DataLinksChooseTheProvider) {
    QString err;
    const QString sqliteUdl = testsupport::writeUdl(tmp.filePath(QStringLiteral("s.udl")),
                                                    QStringLiteral("Provider=SQLite;Data Source=") + db);
    auto c = DbProviders::open(QStringLiteral("FILE NAME=") + sqliteUdl, err);
    ASSERT_TRUE(c) << err.toStdString();
    EXPECT_EQ(c->providerName(), QStringLiteral("SQLite"));

    const QString otherUdl = testsupport::writeUdl(tmp.filePath(QStringLiteral("o.udl")),
                                                   QStringLiteral("Provider=SQLOLEDB.1;Data Source=server"));
    EXPECT_FALSE(DbProviders::open(QStringLiteral("FILE NAME=") + otherUdl, err));
    EXPECT_FALSE(DbProviders::open(QStringLiteral("FILE NAME=") + tmp.filePath(QStringLiteral("none.udl")), err));
}

TEST_F(SqliteProvider, ValuesComeBackTyped) {
    QString err;
    auto c = DbProviders::open(QStringLiteral("Provider=SQLite;Data Source=") + db, err);
    ASSERT_TRUE(c);
    DbRows rows;
    ASSERT_TRUE(
        c->query(QStringLiteral("Select noDoc, szDoc, obDoc, dyUdt, boCod From msDoc Where noDoc = 40"), rows, err));
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.columns, QStringList({"noDoc", "szDoc", "obDoc", "dyUdt", "boCod"}));
    EXPECT_EQ(rows.rows[0][0].metaType().id(), QMetaType::Int);
    EXPECT_EQ(rows.rows[0][1].toString(), QStringLiteral("四十"));
    EXPECT_FALSE(rows.rows[0][2].isValid()); // Null document
    EXPECT_EQ(rows.rows[0][3].toDateTime(), QDateTime(QDate(2026, 11, 1), QTime(9, 0)));
    ASSERT_TRUE(c->query(QStringLiteral("Select obDoc From msDoc Where noDoc = 5"), rows, err));
    EXPECT_EQ(rows.rows[0][0].metaType().id(), QMetaType::QByteArray);
}

TEST_F(SqliteProvider, SecondStatementsAreRefused) {
    QString err;
    auto c = DbProviders::open(QStringLiteral("Provider=SQLite;Data Source=") + db, err);
    ASSERT_TRUE(c);
    qint32 n = -1;
    EXPECT_FALSE(c->execute(QStringLiteral("Update msDoc Set szDoc='x' Where noDoc=5; Delete From msDoc"), n, err));
    DbRows rows;
    ASSERT_TRUE(c->query(QStringLiteral("Select Count(*) From msDoc"), rows, err));
    EXPECT_EQ(rows.rows[0][0].toInt(), 8);
}

TEST_F(SqliteProvider, BadFilesAreRefusedAndLeftUnchanged) {
    const QByteArray good = testsupport::readBytes(db);
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty.txdb", QByteArray()},
        {"text.txdb", QByteArray("これはテキストです\r\n")},
        {"truncated.txdb", good.left(good.size() / 2)},
        {"header.txdb", good.left(100)},
    };
    for (const Case& c : cases) {
        const QString path = tmp.filePath(QString::fromLatin1(c.name));
        testsupport::writeBytes(path, c.bytes);
        QString err;
        EXPECT_FALSE(DbProviders::open(QStringLiteral("Provider=SQLite;Data Source=") + path, err)) << c.name;
        EXPECT_FALSE(err.isEmpty()) << c.name;
        EXPECT_EQ(testsupport::readBytes(path), c.bytes) << c.name;
    }
    QString err;
    EXPECT_FALSE(DbProviders::open(QStringLiteral("Provider=SQLite;Data Source=") + tmp.path(), err)); // a folder
    EXPECT_FALSE(DbProviders::open(
        QStringLiteral("Provider=SQLite;Data Source=") + tmp.filePath(QStringLiteral("no.txdb")), err));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("no.txdb")))); // never created
    EXPECT_FALSE(DbProviders::open(QStringLiteral("Provider=SQLite"), err));
}
