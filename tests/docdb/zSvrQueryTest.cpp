// Tests of the query layer: templates, execution, recordsets, arrays and single values on SQLite.
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using docdb::zSvr;

TEST(TCnvSq, FillsPlaceholdersAsTheExamplesShow) {
    QString q = docdb::sql::kRename;
    zSvr::T_CnvSq(q, {QStringLiteral("why? now?"), 3, 7});
    EXPECT_EQ(q, QStringLiteral("Update tbTree Set szDoc='why? now?' Where noLfP=3 and noLfC=7")); // "?" is text

    q = QStringLiteral("a=? b=? c=?");
    zSvr::T_CnvSq(q, {QStringLiteral("?"), QVariant(), QStringLiteral("??")});
    EXPECT_EQ(q, QStringLiteral("a=? b= c=??"));

    q = QStringLiteral(" Values ( ?, ?, ?,'?', 0, 0, 0)");
    zSvr::T_CnvSq(q, {QVariant(), 2, 3, QStringLiteral("x")});
    EXPECT_EQ(q, QStringLiteral(" Values ( , 2, 3,'x', 0, 0, 0)"));

    q = QStringLiteral("a=? b=?");
    zSvr::T_CnvSq(q, {1});
    EXPECT_EQ(q, QStringLiteral("a=1 b=?")); // surplus placeholders stay
    zSvr::T_CnvSq(q, {2, 3, 4});
    EXPECT_EQ(q, QStringLiteral("a=1 b=2")); // surplus values change nothing

    q = docdb::sql::kStamp;
    zSvr::T_CnvSq(q, {QStringLiteral("dyUdt"), QStringLiteral("#12/06/26 14:05:09#"), QStringLiteral("0"), 12});
    EXPECT_EQ(q, QStringLiteral(" Update tbTree Set dyUdt = #12/06/26 14:05:09# Where noLfP = 0 And noLfC = 12 "));

    q = QStringLiteral("x=?");
    EXPECT_THROW(zSvr::T_CnvSq(q, {}), util::VbError);
}

TEST(TCnvSq, QuotesInQuotedValuesAreDoubled) {
    QString q = docdb::sql::kRename;
    zSvr::T_CnvSq(q, {QStringLiteral("O'Brien's ' x"), 0, 5});
    EXPECT_EQ(q, QStringLiteral("Update tbTree Set szDoc='O''Brien''s '' x' Where noLfP=0 and noLfC=5"));
    q = QStringLiteral("Set a=? Where b='?'");
    zSvr::T_CnvSq(q, {QStringLiteral("it's"), QStringLiteral("it's")});
    EXPECT_EQ(q, QStringLiteral("Set a=it's Where b='it''s'")); // bare placeholders are not quoted
}

class ZSvrQuery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        db = testsupport::writeDb(tmp.path(), QStringLiteral("q.txdb"), testsupport::smallTree());
        bool ok = false;
        svr.D_StDcDb(db, ok);
        ASSERT_TRUE(ok);
    }
    QList<int> firstColumn(const QString& sql) {
        docdb::RowArray rows;
        qint32 n = 0;
        svr.R_Ary(sql, rows, n);
        QList<int> out;
        for (int r = 0; r < n; ++r)
            out << rows(0, r).toInt();
        return out;
    }
    QTemporaryDir tmp;
    QString db;
    testsupport::FakeMessageBox messages;
    util::zClt clt;
    zSvr svr{messages, clt};
};

TEST_F(ZSvrQuery, RowArrayIsColumnByRowInStatementOrder) {
    QString sql = docdb::sql::kChildren;
    sql.replace(QLatin1Char('?'), QLatin1String("0"));
    docdb::RowArray rows;
    qint32 n = -1;
    svr.R_Ary(sql, rows, n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(rows.columnCount(), 4);
    EXPECT_EQ(rows(0, 0).toInt(), 5);
    EXPECT_EQ(rows(1, 0).toString(), QStringLiteral("五"));
    EXPECT_EQ(rows(0, 1).toInt(), 8);
    EXPECT_EQ(rows(3, 1).toInt(), 1); // boCod of the code page
    EXPECT_EQ(rows(0, 2).toInt(), 40);
    EXPECT_THROW(rows(0, 3), util::VbError);

    svr.R_Ary(QStringLiteral("Select noDoc From msDoc Where noDoc = 999"), rows, n);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(rows.isEmpty());
    svr.R_Ary(QStringLiteral("Select nothing From nowhere"), rows, n);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ZSvrQuery, EveryStatementOfTheReaderRuns) {
    QVariant v;
    svr.R_GtVaL(docdb::sql::kChildCount + QStringLiteral("5"), v, QVariant(0));
    EXPECT_EQ(v.toInt(), 2);
    svr.R_GtVaL(docdb::sql::kHomeParent + QStringLiteral("9"), v, QVariant(-1)); // "tbtree" in lower case
    EXPECT_EQ(v.toInt(), 5); // the link row under 8 never counts as home
    svr.R_GtVaL(docdb::sql::kHomeParent + QStringLiteral("77"), v, QVariant(-1));
    EXPECT_EQ(v.toInt(), -1);

    QString code = docdb::sql::kCodeList;
    code.replace(QLatin1Char('?'), QLatin1String("8"));
    EXPECT_EQ(firstColumn(code), (QList<int>{21, 20, 9})); // newest document first
    EXPECT_EQ(firstColumn(docdb::sql::kFindAll).size(), 8);
    EXPECT_EQ(firstColumn(docdb::sql::kRunSelect + docdb::sql::kRunWhere + QStringLiteral("12") + docdb::sql::kRunHide +
                          docdb::sql::kRunOrder),
              QList<int>{}); // the only child of 12 is hidden
    EXPECT_EQ(firstColumn(docdb::sql::kRunSelect + docdb::sql::kRunWhere + QStringLiteral("5") + docdb::sql::kRunHide +
                          docdb::sql::kRunOrder),
              (QList<int>{9, 12}));
    QString xml;
    svr.R_GtVaL(docdb::sql::kDxml + QStringLiteral("1"), xml, QString());
    EXPECT_TRUE(xml.contains(QStringLiteral("<root>一</root>")));
}

TEST_F(ZSvrQuery, LikeFindsJapaneseWordsAndIgnoresAsciiCase) {
    EXPECT_EQ(firstColumn(docdb::sql::kFindWhere + QStringLiteral("txDoc Like '%検索語%' ") + docdb::sql::kFindOrder),
              (QList<int>{5, 12})); // ordered by title: 五 (U+4E94) before 十二 (U+5341)
    EXPECT_EQ(
        firstColumn(docdb::sql::kFindWhere + QStringLiteral("txDoc Like '%alpha%' ") + docdb::sql::kFindOrder).size(),
        2);
    EXPECT_EQ(firstColumn(docdb::sql::kFindWhere + QStringLiteral("txDoc Like '%alpha%'  And txDoc Like '%gamma%' ") +
                          docdb::sql::kFindOrder),
              QList<int>{9});
    EXPECT_EQ(firstColumn(docdb::sql::kFindWhere + QStringLiteral("txDoc Like '%十二_検%' ") + docdb::sql::kFindOrder),
              (QList<int>{12})); // "_" stands for one character (the blank)
}

TEST_F(ZSvrQuery, BothDateLiteralFormsStoreTheSameTimeAndSortByTime) {
    bool ok = false;
    qint32 n = -1;
    QString jet = docdb::sql::kStamp;
    zSvr::T_CnvSq(jet, {QStringLiteral("dyUdt"), QStringLiteral("#12/06/26 14:05:09#"), 0, 5});
    svr.D_ExeSq(jet, ok, n);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 1);
    QString other = docdb::sql::kStamp;
    zSvr::T_CnvSq(other, {QStringLiteral("dyUdt"), QStringLiteral("convert(datetime,'2026/12/06 14:05:09')"), 0, 8});
    svr.D_ExeSq(other, ok, n);
    EXPECT_TRUE(ok);
    QVariant a, b;
    svr.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP = 0 And noLfC = 5"), a, QVariant());
    svr.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP = 0 And noLfC = 8"), b, QVariant());
    EXPECT_EQ(a.toDateTime(), QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
    EXPECT_EQ(a, b);

    // 1930 (two-digit 30) sorts before 2029 (two-digit 29), and both before 2026-12 in the other form.
    QString s1 = docdb::sql::kStamp;
    zSvr::T_CnvSq(s1, {QStringLiteral("dyUdt"), QStringLiteral("#01/01/30 00:00:00#"), 0, 40});
    svr.D_ExeSq(s1, ok, n);
    QString s2 = docdb::sql::kStamp;
    zSvr::T_CnvSq(s2, {QStringLiteral("dyUdt"), QStringLiteral("#12/31/29 23:59:59#"), 5, 9});
    svr.D_ExeSq(s2, ok, n);
    EXPECT_EQ(
        firstColumn(QStringLiteral("Select noLfC From tbTree Where noLfC In (5, 40, 9) And boLnk = 0 Order By dyUdt")),
        (QList<int>{40, 5, 9}));
}

TEST_F(ZSvrQuery, AffectedRowsAreTheStatementsOwn) {
    bool ok = false;
    qint32 n = -1;
    svr.D_ExeSq(QStringLiteral("Update tbTree Set inSrt = inSrt Where noLfP = 8"), ok, n);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 3);
    for (const char* unchanged : {"Update tbTree Set inSrt = 1 Where noLfP = 999", "Create Table extra (x Integer)"}) {
        n = -1;
        svr.D_ExeSq(QString::fromLatin1(unchanged), ok, n);
        EXPECT_TRUE(ok) << unchanged;
        EXPECT_EQ(n, 0) << unchanged; // not the previous statement's 3
    }
}

TEST_F(ZSvrQuery, ExecuteReportsFailureQuietly) {
    bool ok = true;
    qint32 n = 42;
    svr.D_ExeSq(QStringLiteral("Update nowhere Set x = 1"), ok, n, false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(n, 42); // kept on failure
    QString bad = QStringLiteral("Update tbTree Set szDoc='?' Where noLfP=? and noLfC=?");
    bad.replace(bad.indexOf('?'), 1, QStringLiteral("it's")); // unescaped, as a careless caller would
    svr.D_ExeSq(bad, ok, n, true);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ZSvrQuery, QuotedTitlesAreStoredExactly) {
    QString q = docdb::sql::kRename;
    const QString title = QStringLiteral("'; Delete From msDoc; --");
    zSvr::T_CnvSq(q, {title, 0, 5});
    bool ok = false;
    qint32 n = 0;
    svr.D_ExeSq(q, ok, n);
    ASSERT_TRUE(ok) << svr.lastError().toStdString();
    EXPECT_EQ(n, 1);
    QString back;
    svr.R_GtVaL(QStringLiteral("Select szDoc From tbTree Where noLfP=0 And noLfC=5"), back, QString());
    EXPECT_EQ(back, title);
    QVariant count;
    svr.R_GtVaL(QStringLiteral("Select Count(*) From msDoc"), count, QVariant(0));
    EXPECT_EQ(count.toInt(), 8);
}

TEST_F(ZSvrQuery, RecordsetsReadFieldsByName) {
    docdb::Recordset rs;
    bool ok = false;
    svr.R_Rset(docdb::sql::kDocument + QStringLiteral("5"), rs, ok, 2);
    ASSERT_TRUE(ok);
    EXPECT_EQ(rs.mode(), 2);
    ASSERT_FALSE(rs.eof());
    EXPECT_TRUE(rs.field(QStringLiteral("OBDOC")).toByteArray().contains("Alpha"));
    EXPECT_EQ(rs.field(QStringLiteral("szDoc")).toString(), QStringLiteral("五"));
    EXPECT_THROW(rs.field(QStringLiteral("nope")), util::VbError);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW(rs.field(0), util::VbError);
    rs.close();
    EXPECT_FALSE(rs.isOpen());

    svr.R_Rset(docdb::sql::kDocument + QStringLiteral("40"), rs, ok, 2);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(util::isNull(rs.field(QStringLiteral("obDoc"))));
    rs.close();

    svr.R_Rset(QStringLiteral("Select x From missing"), rs, ok, 0);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(rs.isOpen());
}

TEST_F(ZSvrQuery, SingleValuesFallBackToTheDefault) {
    QVariant v;
    svr.R_GtVaL(QStringLiteral("Select noLfP From nowhere"), v, QVariant(-1));
    EXPECT_EQ(v, QVariant(-1));
    svr.R_GtVaL(QStringLiteral("Select obDoc From msDoc Where noDoc = 40"), v, QVariant(QStringLiteral("def")));
    EXPECT_EQ(v.toString(), QStringLiteral("def")); // Null
    svr.R_GtVaL(QStringLiteral("Select szDoc From msDoc Where noDoc = 5"), v, QVariant(0));
    EXPECT_EQ(v, QVariant(0)); // does not convert to a number
    svr.R_GtVaL(QStringLiteral("Select noDoc From msDoc Where noDoc = 12"), v, QVariant(QString()));
    EXPECT_EQ(v, QVariant(QStringLiteral("12"))); // converted to the caller's type
    // Whole numbers as VB converts them: halves to even, out of range gives the default.
    const struct {
        const char* expr;
        QVariant def, expected;
    } numbers[] = {{"2.5", QVariant(0), QVariant(2)},
                   {"3.5", QVariant(0), QVariant(4)},
                   {"'2.5'", QVariant(0), QVariant(2)},
                   {"-2.5", QVariant(0), QVariant(-2)},
                   {"3000000000", QVariant(-1), QVariant(-1)},
                   {"3000000000", QVariant(qlonglong(-1)), QVariant(qlonglong(3000000000))},
                   {"40000", QVariant::fromValue(short(-1)), QVariant::fromValue(short(-1))},
                   {"1e300", QVariant(qlonglong(-1)), QVariant(qlonglong(-1))}};
    for (const auto& n : numbers) {
        svr.R_GtVaL(QStringLiteral("Select ") + QLatin1String(n.expr), v, n.def);
        EXPECT_EQ(v, n.expected) << n.expr;
    }
    svr.D_Close();
    svr.R_GtVaL(QStringLiteral("Select noDoc From msDoc"), v, QVariant(7));
    EXPECT_EQ(v, QVariant(7)); // no connection
    EXPECT_TRUE(messages.texts.isEmpty());
}
