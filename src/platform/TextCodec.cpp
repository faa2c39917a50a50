// TextCodec: conversions through Qt's ICU-backed string encoders.
#include "platform/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <utility>

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

namespace {

// Characters whose Unicode form differs between the JIS and the Microsoft mapping of Shift-JIS, and
// Windows' best-fit characters: Windows writes them as the code page's own character.
constexpr std::pair<char16_t, char16_t> kWindowsForms[] = {
    {u'\u301C', u'\uFF5E'}, // WAVE DASH → FULLWIDTH TILDE (81 60)
    {u'\u2016', u'\u2225'}, // DOUBLE VERTICAL LINE → PARALLEL TO (81 61)
    {u'\u2212', u'\uFF0D'}, // MINUS SIGN → FULLWIDTH HYPHEN-MINUS (81 7C)
    {u'\u2014', u'\u2015'}, // EM DASH → HORIZONTAL BAR (81 5C)
    {u'\u00A2', u'\uFFE0'}, // CENT SIGN (81 91)
    {u'\u00A3', u'\uFFE1'}, // POUND SIGN (81 92)
    {u'\u00AC', u'\uFFE2'}, // NOT SIGN (81 CA)
    {u'\u00A6', u'\uFFE4'}, // BROKEN BAR (FA 55)
    {u'\u00A5', u'\\'},     // YEN SIGN → 5C, as Windows' best fit
    {u'\u203E', u'~'},      // OVERLINE → 7E, as Windows' best fit
};

QString windowsForms(const QString& text) {
    QString out = text; // shares the data until a character is replaced
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        if (c < 0xA2)
            continue;
        for (const auto& [from, to] : kWindowsForms)
            if (c == from) {
                out[i] = QChar(to);
                break;
            }
    }
    return out;
}

// Length of the CP932 character that starts with byte b.
int cp932Length(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
}

} // namespace

QByteArray TextCodec::toAnsi(const QString& text, bool* lossy, qsizetype* unmappable) {
    if (lossy)
        *lossy = false;
    if (unmappable)
        *unmappable = 0;
    QStringEncoder whole(currentName().toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!whole.isValid())
        return text.toLocal8Bit();
    const bool cp932 = currentName().compare(QLatin1String("CP932"), Qt::CaseInsensitive) == 0;
    QByteArray out = whole.encode(cp932 ? windowsForms(text) : text);
    if (!whole.hasError())
        return out;
    if (lossy)
        *lossy = true;
    if (!cp932) {
        // Another code page: its substitution character is left as the converter wrote it.
        return out;
    }
    // The converter wrote FC FC, a pair no CP932 character uses, for each character it cannot hold
    // (one pair also for a surrogate pair). Walk the output character by character and put "?" there.
    QByteArray fixed;
    fixed.reserve(out.size());
    qsizetype lost = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(out.constData());
    for (qsizetype i = 0; i < out.size();) {
        const int len = std::min<qsizetype>(cp932Length(p[i]), out.size() - i);
        if (len == 2 && p[i] == 0xFC && p[i + 1] == 0xFC) {
            fixed.append('?');
            ++lost;
        } else {
            fixed.append(out.constData() + i, len);
        }
        i += len;
    }
    if (unmappable)
        *unmappable = lost;
    return fixed;
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
