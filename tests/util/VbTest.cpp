// Tests of the VB-compatible helpers.
#include "util/Vb.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace util;

TEST(Vb, ValReadsTheLeadingNumberLikeVb) {
    EXPECT_EQ(Val(QStringLiteral("1440")), 1440);
    EXPECT_EQ(Val(QStringLiteral("  12 34 ")), 1234); // blanks are skipped anywhere
    EXPECT_EQ(Val(QStringLiteral("-.5xyz")), -0.5);
    EXPECT_EQ(Val(QStringLiteral("3.25.7")), 3.25);
    EXPECT_EQ(Val(QStringLiteral("1,000")), 1);
    EXPECT_EQ(Val(QStringLiteral("abc")), 0);
    EXPECT_EQ(Val(QString()), 0);
    EXPECT_EQ(Val(QStringLiteral("1e3")), 1000);
    EXPECT_EQ(Val(QStringLiteral("2D2")), 200);
    EXPECT_EQ(Val(QStringLiteral("7e")), 7);
    EXPECT_EQ(Val(QStringLiteral("&H1F")), 31);
    EXPECT_EQ(Val(QStringLiteral("&O17")), 15);
    EXPECT_EQ(Val(QStringLiteral("\t42\r\n")), 42);
    EXPECT_EQ(Val(QStringLiteral("docs\\a.txdb")), 0);
}

TEST(Vb, RoundingGoesHalfToEven) {
    EXPECT_EQ(CLng(2.5), 2);
    EXPECT_EQ(CLng(3.5), 4);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CLng(2.500001), 3);
    EXPECT_EQ(CInt(1999.5), 2000);
    EXPECT_EQ(CInt(2000.5), 2000);
    EXPECT_THROW(CInt(40000), VbError);
    EXPECT_THROW(CLng(3e10), VbError);
}

TEST(Vb, TrimRemovesSpacesOnly) {
    EXPECT_EQ(Trim(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(Trim(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
    EXPECT_EQ(LTrim(QStringLiteral("  x ")), QStringLiteral("x "));
    EXPECT_EQ(RTrim(QStringLiteral("  x ")), QStringLiteral("  x"));
    EXPECT_EQ(Trim(QStringLiteral("   ")), QString());
}

TEST(Vb, InStrIsOneBased) {
    EXPECT_EQ(InStr(QStringLiteral("abcabc"), QStringLiteral("c")), 3);
    EXPECT_EQ(InStr(4, QStringLiteral("abcabc"), QStringLiteral("a")), 4);
    EXPECT_EQ(InStr(QStringLiteral("abc"), QStringLiteral("x")), 0);
    EXPECT_EQ(InStr(QStringLiteral("ABC"), QStringLiteral("b")), 0);
    EXPECT_EQ(InStr(1, QStringLiteral("ABC"), QStringLiteral("b"), Qt::CaseInsensitive), 2);
}

TEST(Vb, CStrWritesPlainForms) {
    EXPECT_EQ(CStr(QVariant(3)), QStringLiteral("3"));
    EXPECT_EQ(CStr(QVariant(2.5)), QStringLiteral("2.5"));
    EXPECT_EQ(CStr(QVariant(1440.0)), QStringLiteral("1440"));
    EXPECT_EQ(CStr(QVariant(true)), QStringLiteral("True"));
    EXPECT_EQ(CStr(QVariant(false)), QStringLiteral("False"));
    EXPECT_EQ(CStr(QVariant()), QString());
    EXPECT_EQ(CStr(QVariant(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)))), QStringLiteral("2026/12/06 14:05:09"));
}

TEST(Vb, FileNamePartTakesTheLastSegment) {
    EXPECT_EQ(fileNamePart(QStringLiteral("C:\\db\\a.txdb")), QStringLiteral("a.txdb"));
    EXPECT_EQ(fileNamePart(QStringLiteral("/home/u/s.txdb")), QStringLiteral("s.txdb"));
    EXPECT_EQ(fileNamePart(QStringLiteral("plain")), QStringLiteral("plain"));
}
