// Fuzz target: connection strings and data-link files. Property: every value parse reads back is
// written by quoteValue so that the rebuilt string parses to the very same keys and values, and a
// value of any text survives quoting unchanged.
#include "FuzzCheck.h"
#include "dbengine/ConnectionString.h"

using dbengine::ConnectionString;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray in = fuzzcheck::bytes(data, size);
    (void)ConnectionString::udlInitString(in);
    const QString text = QString::fromUtf8(in);
    const QMap<QString, QString> keys = ConnectionString::parse(text);
    QStringList pairs;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        QString key = it.key();
        key.replace(QLatin1Char('='), QLatin1String("=="));
        if (key.contains(QLatin1Char(';')) || key.trimmed() != key || key.isEmpty())
            continue; // such a key cannot be written at all; parse does not promise it
        pairs << key + QLatin1Char('=') + ConnectionString::quoteValue(it.value());
    }
    const QMap<QString, QString> again = ConnectionString::parse(pairs.join(QLatin1Char(';')));
    for (auto it = again.cbegin(); it != again.cend(); ++it)
        fuzzcheck::check(keys.value(it.key()) == it.value(), "a rebuilt string parses to the same values",
                         text + QStringLiteral("\n→ ") + pairs.join(QLatin1Char(';')));
    const QString value = text.left(200);
    const QMap<QString, QString> one =
        ConnectionString::parse(QStringLiteral("Provider=SQLite;Data Source=") + ConnectionString::quoteValue(value) +
                                QStringLiteral(";Mode=Read"));
    fuzzcheck::check(one.value(QStringLiteral("data source")) == value, "a quoted value reads back exactly", value);
    fuzzcheck::check(one.value(QStringLiteral("mode")) == QLatin1String("Read"), "the pair after it stays", value);
    return 0;
}
