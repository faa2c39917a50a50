// Tests of the sample database the build makes: it opens and holds every kind of page the reader shows.
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QFile>

#include <gtest/gtest.h>

class SampleDb : public ::testing::Test {
protected:
    void SetUp() override {
        path = testsupport::sampleDb();
        ASSERT_TRUE(QFile::exists(path)) << "sample database not built: " << path.toStdString();
        bool ok = false;
        svr.D_StDcDb(path, ok);
        ASSERT_TRUE(ok);
    }
    int count(const QString& sql) {
        QVariant v;
        svr.R_GtVaL(sql, v, QVariant(-1));
        return v.toInt();
    }
    QString path;
    testsupport::FakeMessageBox messages;
    util::zClt clt;
    docdb::zSvr svr{messages, clt};
};

TEST_F(SampleDb, HoldsEveryKindOfPlacement) {
    EXPECT_GE(count(QStringLiteral("Select Count(*) From msDoc")), 30);
    EXPECT_EQ(count(QStringLiteral("Select Count(*) From kaUsr")), 1);
    // Three levels at least: a page whose parent's parent is not at the top level.
    EXPECT_GE(count(QStringLiteral("Select Count(*) From tbTree A, tbTree B, tbTree C Where A.noLfP = B.noLfC And "
                                   "B.noLfP = C.noLfC And C.noLfP <> 0")),
              1);
    EXPECT_GE(count(QStringLiteral("Select Count(*) From tbTree Where boLnk = 1")), 1);
    EXPECT_GE(
        count(QStringLiteral("Select Count(*) From (Select noLfC From tbTree Group By noLfC Having Count(*) > 1)")), 1);
    EXPECT_GE(count(QStringLiteral("Select Count(*) From tbTree Where boHide = 1")), 1);
    EXPECT_EQ(count(QStringLiteral("Select Count(*) From msDoc Where obDoc Is Null")), 1);
    EXPECT_GE(count(QStringLiteral("Select Count(*) From msDoc Where boCod Is Null")), 1);
}

TEST_F(SampleDb, CodePageHasChildrenOfDifferentDates) {
    const int code = count(QStringLiteral("Select noDoc From msDoc Where boCod = 1"));
    ASSERT_GT(code, 0);
    QString sql = docdb::sql::kCodeList;
    sql.replace(QLatin1Char('?'), QString::number(code));
    docdb::RowArray rows;
    qint32 n = 0;
    svr.R_Ary(sql, rows, n);
    ASSERT_GE(n, 3);
    for (int r = 1; r < n; ++r)
        EXPECT_GT(rows(2, r - 1).toDateTime(), rows(2, r).toDateTime());
}

TEST_F(SampleDb, PagesCarryEveryKindOfField) {
    const char* fields[] = {"href=\"TG_", "href=\"TG_x_",    "href=\"TP_",
                            "href=\"DX_", "href=\"https://", "href=\"/usr/"};
    for (const char* f : fields) {
        QString like = QStringLiteral("Select Count(*) From msDoc Where obDoc Like '%") + QString::fromUtf8(f) +
                       QStringLiteral("%'");
        // obDoc is binary; compare through its text form.
        like.replace(QStringLiteral("obDoc Like"), QStringLiteral("CAST(obDoc AS TEXT) Like"));
        EXPECT_GE(count(like), 1) << f;
    }
    QString xml;
    svr.R_GtVaL(docdb::sql::kDxml + QStringLiteral("1"), xml, QString());
    EXPECT_TRUE(xml.contains(QStringLiteral("<見本>")));
}

TEST_F(SampleDb, PlainTextMatchesTheDocuments) {
    docdb::RowArray rows;
    qint32 n = 0;
    svr.R_Ary(QStringLiteral("Select noDoc, obDoc, txDoc From msDoc Where obDoc Is Not Null"), rows, n);
    ASSERT_GT(n, 0);
    for (int r = 0; r < n; ++r) {
        const QString text = rows(2, r).toString();
        EXPECT_EQ(text, samples::plainTextOf(rows(1, r).toByteArray())) << rows(0, r).toInt();
        EXPECT_FALSE(text.contains(QLatin1String("href=")) || text.contains(QLatin1String("<p>")))
            << rows(0, r).toInt();
    }
    EXPECT_GE(count(docdb::sql::kFindWhere.mid(0).replace(QStringLiteral(" Select noDoc, szDoc"),
                                                          QStringLiteral(" Select Count(*)")) +
                    QStringLiteral("txDoc Like '%ツリー%' And txDoc Like '%記号%'")),
              1);
}
