// TextCodec: conversions through Qt's ICU-backed string encoders.
#include "platform/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {
QString& currentName() {
    static QString name = QStringLiteral("CP932");
    return name;
}
} // namespace

QString TextCodec::ansiName() {
    return currentName();
}

void TextCodec::setAnsiName(const QString& name) {
    currentName() = name;
}

QByteArray TextCodec::toAnsi(const QString& text, bool* lossy) {
    QStringEncoder whole(currentName().toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!whole.isValid()) {
        if (lossy)
            *lossy = false;
        return text.toLocal8Bit();
    }
    QByteArray out = whole.encode(text);
    if (!whole.hasError()) {
        if (lossy)
            *lossy = false;
        return out;
    }
    // Encode character by character so that only the unmappable ones become "?".
    if (lossy)
        *lossy = true;
    out.clear();
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QStringEncoder one(currentName().toLatin1().constData(), QStringConverter::Flag::Stateless);
        QByteArray part = one.encode(QStringView(text).mid(i, len));
        if (one.hasError() || part.isEmpty())
            out.append('?');
        else
            out.append(part);
        i += len - 1;
    }
    return out;
}

QString TextCodec::fromAnsi(const QByteArray& bytes, bool* invalid) {
    QStringDecoder dec(currentName().toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!dec.isValid()) {
        if (invalid)
            *invalid = false;
        return QString::fromLocal8Bit(bytes);
    }
    QString text = dec.decode(bytes);
    if (invalid)
        *invalid = dec.hasError();
    return text;
}

bool TextCodec::isValidUtf8(const QByteArray& bytes) {
    // A strict check of the encoding rules (Qt's decoder does not report every error).
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        int extra;
        quint32 cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static constexpr quint32 kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace platform
