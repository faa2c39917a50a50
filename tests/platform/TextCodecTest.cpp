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

TEST(TextCodec, UnmappableCharactersBecomeQuestionMarks) {
    bool lossy = false;
    const QByteArray bytes = TextCodec::toAnsi(QStringLiteral("a😀b한c"), &lossy);
    EXPECT_TRUE(lossy);
    EXPECT_EQ(bytes, QByteArray("a?b?c"));
}

TEST(TextCodec, TellsUtf8Apart) {
    EXPECT_TRUE(TextCodec::isValidUtf8(QStringLiteral("日本語").toUtf8()));
    EXPECT_FALSE(TextCodec::isValidUtf8(TextCodec::toAnsi(QStringLiteral("日本語"))));
}
