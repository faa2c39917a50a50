// Tests of connection strings and data-link files.
#include "platform/ConnectionString.h"
#include "support/Fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::ConnectionString;

TEST(ConnectionString, ParsesTheJetStringWithAnyPath) {
    auto keys = ConnectionString::parse(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = C:\\My docs\\a?b;c.txdb;Persist Security Info=False"));
    EXPECT_EQ(keys.value(QStringLiteral("provider")), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    EXPECT_EQ(keys.value(QStringLiteral("data source")), QStringLiteral("C:\\My docs\\a?b;c.txdb"));
    EXPECT_EQ(keys.value(QStringLiteral("persist security info")), QStringLiteral("False"));
    keys = ConnectionString::parse(QStringLiteral("PROVIDER=SQLite;Data Source=\"/tmp/x y.txdb\";"));
    EXPECT_EQ(keys.value(QStringLiteral("provider")), QStringLiteral("SQLite"));
    EXPECT_EQ(keys.value(QStringLiteral("data source")), QStringLiteral("/tmp/x y.txdb"));
}

TEST(ConnectionString, ReadsDataLinksAsThePlatformWritesThem) {
    QTemporaryDir tmp;
    const QString path = testsupport::writeUdl(tmp.filePath(QStringLiteral("a.udl")),
                                               QStringLiteral("Provider=SQLite;Data Source=/data/日本.txdb"));
    EXPECT_EQ(ConnectionString::udlInitString(testsupport::readBytes(path)),
              QStringLiteral("Provider=SQLite;Data Source=/data/日本.txdb"));
    EXPECT_EQ(ConnectionString::udlInitString(QByteArray("[oledb]\n; comment\nProvider=X;Data Source=y\n")),
              QStringLiteral("Provider=X;Data Source=y"));
    EXPECT_EQ(ConnectionString::udlInitString(QByteArray("[oledb]\r\n; only a comment\r\n")), QString());
    EXPECT_EQ(ConnectionString::udlInitString(QByteArray()), QString());
}
