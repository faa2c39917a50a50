// ConnectionString: parsing of connection strings and data-link files.
#include "platform/ConnectionString.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace platform {

QMap<QString, QString> ConnectionString::parse(const QString& text) {
    QMap<QString, QString> out;
    // Separators: a ";" followed by a key name and "=".
    static const QRegularExpression sep(QStringLiteral(";(?=\\s*[A-Za-z][A-Za-z0-9 _.]*=)"));
    const QStringList parts = text.split(sep);
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = part.left(eq).trimmed().toLower();
        QString value = part.mid(eq + 1).trimmed();
        if (value.endsWith(QLatin1Char(';')))
            value.chop(1);
        if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        if (!key.isEmpty())
            out.insert(key, value);
    }
    return out;
}

QString ConnectionString::udlInitString(const QByteArray& bytes) {
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringConverter::Utf16LE);
        text = dec.decode(bytes.mid(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder dec(QStringConverter::Utf16BE);
        text = dec.decode(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        text = QString::fromUtf8(bytes);
    }
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')))
            continue;
        if (line.contains(QLatin1Char('=')))
            return line;
    }
    return {};
}

} // namespace platform
