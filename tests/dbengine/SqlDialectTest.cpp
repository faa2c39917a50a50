// Tests of the Jet-to-SQLite statement translation.
#include "dbengine/SqlDialect.h"

#include <gtest/gtest.h>

using dbengine::SqlDialect;

TEST(SqlDialect, JetDateLiteralsBecomeStoredText) {
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral(" Update tbTree Set dyUdt = #12/06/26 14:05:09# Where noLfP = 0 ")),
              QStringLiteral(" Update tbTree Set dyUdt = '2026-12-06 14:05:09' Where noLfP = 0 "));
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("x = #01/02/1999 00:00:00#")),
              QStringLiteral("x = '1999-01-02 00:00:00'"));
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("x = #3/4/35#")), QStringLiteral("x = '1935-03-04 00:00:00'"));
}

TEST(SqlDialect, ConvertLiteralsBecomeStoredText) {
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("Set dyUdt = convert(datetime,'2026/12/06 14:05:09') Where")),
              QStringLiteral("Set dyUdt = '2026-12-06 14:05:09' Where"));
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("a = CONVERT ( DateTime , '2026/1/2 3:04:05' )")),
              QStringLiteral("a = '2026-01-02 03:04:05'"));
}

TEST(SqlDialect, QuotedTextIsNeverRewritten) {
    const QString s = QStringLiteral(
        "Update tbTree Set szDoc='C# #12/06/26 14:05:09# convert(datetime,''2026/12/06 14:05:09'')' Where noLfP=1");
    EXPECT_EQ(SqlDialect::toSqlite(s), s);
}

TEST(SqlDialect, InvalidLiteralsAreLeftForTheEngineToRefuse) {
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("x = #13/45/26 99:00:00#")),
              QStringLiteral("x = #13/45/26 99:00:00#"));
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("x = convert(datetime,'soon')")),
              QStringLiteral("x = convert(datetime,'soon')"));
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("noconvert(datetime,'2026/12/06')")),
              QStringLiteral("noconvert(datetime,'2026/12/06')"));
}

TEST(SqlDialect, TwoDigitYearsFollowTheWindowsWindow) {
    EXPECT_EQ(SqlDialect::parseJetDate(QStringLiteral("01/01/29")).date().year(), 2029);
    EXPECT_EQ(SqlDialect::parseJetDate(QStringLiteral("01/01/30")).date().year(), 1930);
    EXPECT_FALSE(SqlDialect::parseJetDate(QStringLiteral("02/30/26")).isValid());
    EXPECT_EQ(SqlDialect::parseStoredDate(QStringLiteral("2026-12-06T14:05:09.123")),
              QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
}
