// Tests of the ANSI code page conversions.
#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using platform::TextCodec;

TEST(TextCodec, Cp932HoldsTheCharactersShiftJisLoses) {
    bool lossy = true;
    const QString text = QStringLiteral("運用～－①髙ｱｲｳ");
    const QByteArray bytes = TextCodec::toAnsi(text, &lossy);
    EXPECT_FALSE(lossy);
    EXPECT_EQ(TextCodec::fromAnsi(bytes), text);
    EXPECT_EQ(TextCodec::toAnsi(QStringLiteral("運用")), QByteArray("\x89\x5E\x97\x70"));
    EXPECT_EQ(TextCodec::toAnsi(QStringLiteral("ｱ")), QByteArray("\xB1")); // half-width katakana: one byte
}

TEST(TextCodec, WritesTheWindowsFormsAndCountsWhatIsLost) {
    bool lossy = true;
    qsizetype lost = -1;
    // The JIS forms of these characters are written as Windows writes them, not as "?".
    EXPECT_EQ(TextCodec::toAnsi(QStringLiteral("〜−‖—¢£¬¦"), &lossy, &lost),
              QByteArray("\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\x92\x81\xCA\xFA\x55"));
    EXPECT_FALSE(lossy);
    EXPECT_EQ(lost, 0);
    // What the code page cannot hold becomes one "?" each (a surrogate pair too) and is counted;
    // ◯ (81 FC) and 黑 (FC 4B) next to it stay whole.
    const QByteArray bytes = TextCodec::toAnsi(QStringLiteral("a😀b한c髙◯é黑"), &lossy, &lost);
    EXPECT_TRUE(lossy);
    EXPECT_EQ(lost, 3);
    EXPECT_EQ(bytes, QByteArray("a?b?c\xFB\xFC\x81\xFC?\xFC\x4B"));
    // One lost character in a long text keeps the rest byte for byte.
    const QString longText = QString(200000, QChar(u'語')) + QChar(u'é');
    const QByteArray longBytes = TextCodec::toAnsi(longText, nullptr, &lost);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(longBytes.size(), 400001);
    EXPECT_TRUE(longBytes.endsWith("\x8C\xEA?"));
}

TEST(TextCodec, TellsUtf8Apart) {
    EXPECT_TRUE(TextCodec::isValidUtf8(QStringLiteral("日本語").toUtf8()));
    EXPECT_FALSE(TextCodec::isValidUtf8(TextCodec::toAnsi(QStringLiteral("日本語"))));
}
