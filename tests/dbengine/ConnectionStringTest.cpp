// Tests of connection strings and data-link files.
#include "dbengine/ConnectionString.h"
#include "support/Fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using dbengine::ConnectionString;

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

TEST(ConnectionString, ReadsRealWorldStringsAsOleDbDoes) {
    const struct {
        const char16_t* text;
        const char* key;
        const char16_t* value;
    } cases[] = {
        // What the Data Link dialog writes for a Jet database: keys with blanks and ":".
        {u"Provider=Microsoft.Jet.OLEDB.4.0;Password=\"\";User ID=Admin;Data Source=C:\\db\\a.mdb;Mode=Share Deny "
         u"None;Extended Properties=\"\";Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";Jet "
         u"OLEDB:Database Password=\"se;cr=et\";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1",
         "data source", u"C:\\db\\a.mdb"},
        {u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Engine Type=5;Data Source=C:\\db\\a.mdb", "jet oledb:engine type",
         u"5"},
        {u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=\"se;cr=et\";Data Source=x.mdb",
         "jet oledb:database password", u"se;cr=et"},
        {u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=\"se;cr=et\";Data Source=x.mdb", "data source",
         u"x.mdb"},
        // Quoted values: either quote, the other quote and ";" and "=" as text, doubled quotes.
        {u"Data Source='C:\\My Docs\\a;b=c.mdb';Provider=SQLite", "data source", u"C:\\My Docs\\a;b=c.mdb"},
        {u"Data Source=\"it's \"\"here\"\".db\"", "data source", u"it's \"here\".db"},
        {u"Data Source='pa''ss'", "data source", u"pa'ss"},
        {u"Extended Properties=\"Excel 8.0;HDR=Yes\";Data Source=b", "extended properties", u"Excel 8.0;HDR=Yes"},
        // Blanks around keys and values, empty pairs, repeated keys, "==" in a key.
        {u"  provider =  SQLite  ;; ;Data Source = /d/x.db ;", "data source", u"/d/x.db"},
        {u"Data Source=first;Data Source=second", "data source", u"second"},
        {u"a==b=1;c=2", "a=b", u"1"},
        // An unquoted path with ";" (no "=" after it) stays whole, as before.
        {u"Provider=SQLite;Data Source=/d/a;b.txdb;Persist Security Info=False", "data source", u"/d/a;b.txdb"},
        {u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=docs;Data Source=SERVER\\SQL",
         "initial catalog", u"docs"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(ConnectionString::parse(text).value(QString::fromLatin1(c.key)), QString::fromUtf16(c.value))
            << text.toStdString() << " [" << c.key << "]";
    }
}

TEST(ConnectionString, QuotedValuesReadBackExactly) {
    for (const QString& v :
         {QStringLiteral("/plain/path.txdb"), QStringLiteral("a;Data Source=b"), QStringLiteral("q\"u'o\"\"te"),
          QStringLiteral(" blank "), QStringLiteral("x=y"), QStringLiteral("日本 語;"), QString()}) {
        const QString text = QStringLiteral("Provider=SQLite;Data Source=") + ConnectionString::quoteValue(v) +
                             QStringLiteral(";Mode=Read");
        const auto keys = ConnectionString::parse(text);
        EXPECT_EQ(keys.value(QStringLiteral("data source")), v) << text.toStdString();
        EXPECT_EQ(keys.value(QStringLiteral("mode")), QStringLiteral("Read")) << text.toStdString();
    }
    EXPECT_EQ(ConnectionString::quoteValue(QStringLiteral("/plain/path.txdb")), QStringLiteral("/plain/path.txdb"));
}
