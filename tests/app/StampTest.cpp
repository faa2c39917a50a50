// Tests of the row date stamp in both literal forms, chosen by the provider's Jet flag.
#include "app/Usr.h"
#include "docdb/zSvr.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/zClt.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Stamp, LiteralFormsFollowTheProvider) {
    const QDateTime t(QDate(2026, 12, 6), QTime(14, 5, 9));
    EXPECT_EQ(app::dateLiteral(true, t), QStringLiteral("#12/06/2026 14:05:09#"));
    EXPECT_EQ(app::dateLiteral(false, t), QStringLiteral("convert(datetime,'2026/12/06 14:05:09')"));
    EXPECT_EQ(app::dateLiteral(true, QDateTime(QDate(2030, 1, 2), QTime(23, 0, 0))),
              QStringLiteral("#01/02/2030 23:00:00#"));
}

TEST(Stamp, BothFormsStoreTheSameTime) {
    QTemporaryDir tmp;
    const QString jetDb = testsupport::writeDb(tmp.path(), QStringLiteral("jet.txdb"), testsupport::smallTree());
    const QString otherDb = testsupport::writeDb(tmp.path(), QStringLiteral("other.db"), testsupport::smallTree());
    const QString udl = testsupport::writeUdl(tmp.filePath(QStringLiteral("other.udl")),
                                              QStringLiteral("Provider=SQLite;Data Source=") + otherDb);
    testsupport::FakeMessageBox box;
    util::zClt clt;
    // Past 2029 too: a two-digit year 30 would be read as 1930.
    for (const QDateTime& t :
         {QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)), QDateTime(QDate(2030, 1, 2), QTime(0, 0)),
          QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59))}) {
        QList<QVariant> read;
        for (const QString& path : {jetDb, udl}) {
            docdb::zSvr svr(box, clt);
            bool ok = false;
            svr.D_StDcDb(path, ok);
            ASSERT_TRUE(ok);
            ok = false;
            app::StmpTrDt(svr, QStringLiteral("5"), QStringLiteral("12"), ok, false, t);
            EXPECT_TRUE(ok) << path.toStdString() << svr.lastError().toStdString();
            QVariant v;
            svr.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP = 5 And noLfC = 12"), v, QVariant());
            read << v;
            // Other rows keep their dates.
            svr.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP = 5 And noLfC = 9"), v, QVariant());
            EXPECT_EQ(v.toDateTime(), QDateTime(QDate(2026, 11, 2), QTime(10, 0)));
            // A row that does not exist is no failure of the statement.
            app::StmpTrDt(svr, QStringLiteral("77"), QStringLiteral("78"), ok, false, t);
            EXPECT_TRUE(ok);
        }
        EXPECT_EQ(read[0].toDateTime(), t);
        EXPECT_EQ(read[0], read[1]);
    }
}
