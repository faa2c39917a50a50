// PageSource: telling HTML from plain text, the reader's copy, bounded HTML and the HTML file form.
#include "platform/PageSource.h"

#include "platform/TextCodec.h"

#include <QRegularExpression>
#include <QSet>

namespace platform::source {

namespace {

const QByteArray kCopyMagic = QByteArrayLiteral("DBTEXT-COPY ");
const QByteArray kCopyV1 = QByteArrayLiteral("DBTEXT-COPY 1\n"); // older copies: HTML of Qt's writer
const QByteArray kCopyV2 = QByteArrayLiteral("DBTEXT-COPY 2\n");

QString decodeStored(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (TextCodec::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return TextCodec::fromAnsi(bytes);
}

bool isTagChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// Elements of HTML as stored pages use them; a tag of one of these makes a page HTML.
const QSet<QString>& knownElements() {
    static const QSet<QString> names = [] {
        QSet<QString> s;
        for (const char* n :
             {"html",    "head", "body",   "title",   "meta",       "style",   "p",      "br",    "div",   "span",
              "a",       "b",    "i",      "u",       "s",          "em",      "strong", "font",  "table", "tr",
              "td",      "th",   "thead",  "tbody",   "tfoot",      "caption", "h1",     "h2",    "h3",    "h4",
              "h5",      "h6",   "ul",     "ol",      "li",         "dl",      "dt",     "dd",    "pre",   "code",
              "tt",      "hr",   "img",    "center",  "blockquote", "sub",     "sup",    "small", "big",   "cite",
              "address", "nobr", "strike", "del",     "ins",        "kbd",     "samp",   "var",   "dfn",   "q",
              "link",    "base", "col",    "colgroup"})
            s.insert(QString::fromLatin1(n));
        return s;
    }();
    return names;
}

bool isTablePart(const QString& name) {
    return name == QLatin1String("tr") || name == QLatin1String("td") || name == QLatin1String("th") ||
           name == QLatin1String("thead") || name == QLatin1String("tbody") || name == QLatin1String("tfoot") ||
           name == QLatin1String("caption") || name == QLatin1String("col") || name == QLatin1String("colgroup");
}

// One tag found by the scanner: '<' at lt, name at [nameStart, nameEnd), '>' at end (or the text's end).
struct Tag {
    qsizetype lt = -1;
    qsizetype nameStart = 0;
    qsizetype nameEnd = 0;
    qsizetype end = 0;
    bool closing = false;
    QString name; // lower case
};

// The next tag at or after from; comments are skipped. False when there is none.
bool nextTag(const QString& s, qsizetype from, Tag& tag) {
    const qsizetype n = s.size();
    for (qsizetype lt = s.indexOf(QLatin1Char('<'), from); lt >= 0; lt = s.indexOf(QLatin1Char('<'), lt + 1)) {
        if (QStringView(s).mid(lt, 4) == QLatin1String("<!--")) {
            const qsizetype e = s.indexOf(QLatin1String("-->"), lt + 4);
            if (e < 0)
                return false;
            lt = e + 2;
            continue;
        }
        qsizetype p = lt + 1;
        const bool closing = p < n && s.at(p) == QLatin1Char('/');
        if (closing)
            ++p;
        const qsizetype ns = p;
        while (p < n && isTagChar(s.at(p)))
            ++p;
        if (p == ns || (p < n && !s.at(p).isSpace() && s.at(p) != QLatin1Char('>') && s.at(p) != QLatin1Char('/')))
            continue;
        qsizetype q = p;
        QChar quote;
        for (; q < n; ++q) {
            const QChar c = s.at(q);
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                quote = c;
            } else if (c == QLatin1Char('>')) {
                break;
            }
        }
        tag = {lt, ns, p, q, closing, s.mid(ns, p - ns).toLower()};
        return true;
    }
    return false;
}

// The part of an HTML text where its head elements stand: before <body, or its beginning.
qsizetype headEnd(const QString& html) {
    static const QRegularExpression body(QStringLiteral("<body[\\s>]"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = body.match(QStringView(html).left(1 << 20));
    return m.hasMatch() ? m.capturedStart() : std::min<qsizetype>(html.size(), 1 << 16);
}

// End of the <body> tag (where the page's blocks begin), or 0.
qsizetype bodyStart(const QString& html) {
    static const QRegularExpression body(QStringLiteral("<body(\\s[^>]*)?>"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = body.match(QStringView(html).left(1 << 20));
    return m.hasMatch() ? m.capturedEnd() : 0;
}

bool endsBlock(const Tag& tag) {
    static const QSet<QString> closers = [] {
        QSet<QString> s;
        for (const char* n : {"p", "div", "pre", "table", "dl", "ul", "ol", "h1", "h2", "h3", "h4", "h5", "h6",
                              "blockquote", "center", "li", "dd"})
            s.insert(QString::fromLatin1(n));
        return s;
    }();
    if (!tag.closing)
        return tag.name == QLatin1String("br") || tag.name == QLatin1String("hr");
    return closers.contains(tag.name);
}

// A place near at that does not split a surrogate pair.
qsizetype safeCut(const QString& text, qsizetype at) {
    return at < text.size() && text.at(at).isLowSurrogate() ? at + 1 : at;
}

} // namespace

bool isHtml(const QString& text) {
    static const QRegularExpression start(
        QStringLiteral("^\\s*<(!doctype\\s+html|html[\\s>]|\\?xml[^>]*>\\s*<(!doctype\\s+html|html[\\s>]))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString head = text.left(1 << 16);
    if (start.match(head).hasMatch())
        return true;
    // Plain text may hold "<i>", "a<b" or "<注意>": HTML shows itself by a document element, by an
    // element that is opened and closed again, or by line breaks and pictures written as tags.
    QSet<QString> opened;
    int voids = 0;
    Tag tag;
    for (qsizetype from = 0; nextTag(head, from, tag); from = tag.end) {
        if (!knownElements().contains(tag.name))
            continue;
        if (tag.name == QLatin1String("html") || tag.name == QLatin1String("body") || tag.name == QLatin1String("head"))
            return true;
        if (tag.closing) {
            if (opened.contains(tag.name))
                return true;
        } else if (tag.name == QLatin1String("br") || tag.name == QLatin1String("hr") ||
                   tag.name == QLatin1String("img") || tag.name == QLatin1String("meta")) {
            const bool attributes =
                QStringView(head).mid(tag.nameEnd, tag.end - tag.nameEnd).contains(QLatin1Char('='));
            if (++voids >= 2 || attributes)
                return true;
        } else {
            opened.insert(tag.name);
        }
    }
    return false;
}

bool decode(const QByteArray& bytes, int format, PageSource& out) {
    out = PageSource();
    if (format != 9 && format != 3)
        return false;
    if (bytes.isEmpty())
        return true;
    if (bytes.startsWith(kCopyMagic)) {
        const bool v2 = bytes.startsWith(kCopyV2);
        if (!v2 && !bytes.startsWith(kCopyV1))
            return false;
        qsizetype at = kCopyV2.size();
        const qsizetype pageEnd = bytes.indexOf('\n', at);
        if (pageEnd < 0)
            return false;
        out.page = PageSetup::fromText(QString::fromUtf8(bytes.mid(at, pageEnd - at)));
        at = pageEnd + 1;
        out.kind = PageSource::Kind::Html;
        if (v2) {
            const qsizetype kindEnd = bytes.indexOf('\n', at);
            if (kindEnd < 0)
                return false;
            const QByteArray kind = bytes.mid(at, kindEnd - at);
            if (kind == "html")
                out.kind = PageSource::Kind::Html;
            else if (kind == "text")
                out.kind = PageSource::Kind::Plain;
            else if (kind == "empty")
                out.kind = PageSource::Kind::Empty;
            else
                return false;
            at = kindEnd + 1;
        }
        const QByteArray body = bytes.mid(at);
        if (!TextCodec::isValidUtf8(body))
            return false;
        out.text = QString::fromUtf8(body);
        return true;
    }
    if (format == 3)
        return false;
    out.text = decodeStored(bytes);
    if (isHtml(out.text)) {
        out.kind = PageSource::Kind::Html;
        out.page = PageSetup::fromHtml(out.text.left(headEnd(out.text)));
    } else {
        out.kind = PageSource::Kind::Plain;
    }
    return true;
}

QByteArray copyBytes(const PageSource& src) {
    const char* kind = src.kind == PageSource::Kind::Html    ? "html"
                       : src.kind == PageSource::Kind::Plain ? "text"
                                                             : "empty";
    return kCopyV2 + src.page.toText().toUtf8() + '\n' + kind + '\n' + src.text.toUtf8();
}

QVector<qsizetype> partition(const PageSource& src) {
    const QString& text = src.text;
    if (text.size() <= limits::kPartChars * 3 / 2)
        return {0};
    QVector<qsizetype> bounds{0};
    const qsizetype want = limits::kPartChars;
    if (src.kind == PageSource::Kind::Html) {
        int tables = 0;
        int pres = 0;
        qsizetype partStart = bodyStart(text);
        Tag tag;
        for (qsizetype from = partStart; nextTag(text, from, tag); from = tag.end) {
            if (tag.name == QLatin1String("table"))
                tables = std::max(0, tables + (tag.closing ? -1 : 1));
            else if (tag.name == QLatin1String("pre") || tag.name == QLatin1String("xmp"))
                pres = std::max(0, pres + (tag.closing ? -1 : 1));
            const qsizetype length = tag.lt - partStart;
            // A block's end outside tables and preformatted text; past twice the length, any tag.
            if ((length >= want && endsBlock(tag) && tables == 0 && pres == 0) || length >= 2 * want) {
                const qsizetype cut = length >= 2 * want && !endsBlock(tag) ? tag.lt : tag.end + 1;
                if (cut >= text.size() - want / 2)
                    break; // the rest is short: it stays with this part
                bounds << cut;
                partStart = cut;
            }
        }
    } else {
        for (qsizetype start = 0; text.size() - start > want * 3 / 2;) {
            qsizetype cut = text.indexOf(QLatin1Char('\n'), start + want);
            cut = (cut < 0 || cut - start > 2 * want) ? safeCut(text, start + want) : cut + 1;
            bounds << cut;
            start = cut;
        }
    }
    bounds << text.size();
    return bounds.size() > 2 ? bounds : QVector<qsizetype>{0};
}

PageSource part(const PageSource& src, const QVector<qsizetype>& bounds, int i) {
    if (bounds.size() < 2 || i < 0 || i + 1 >= bounds.size())
        return src;
    PageSource p = src;
    const QStringView slice = QStringView(src.text).mid(bounds[i], bounds[i + 1] - bounds[i]);
    if (src.kind == PageSource::Kind::Html && i > 0) {
        // Later parts take the page's head, so that styles and the page setup stay the same.
        const qsizetype body = bodyStart(src.text);
        p.text = src.text.left(body);
        p.text.append(slice);
    } else {
        p.text = slice.toString();
    }
    return p;
}

QString boundedHtml(const QString& html, QHash<QString, QString>& images) {
    static const QRegularExpression dataSrc(
        QStringLiteral("\\bsrc\\s*=\\s*(?:\"(data:[^\"]*)\"|'(data:[^']*)'|(data:[^\\s>]*))"),
        QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype copied = 0; // html before this index is in out
    int depth = 0;        // table nesting at the scanner's place
    Tag tag;
    for (qsizetype from = 0; nextTag(html, from, tag); from = tag.end) {
        bool deep = false;
        if (tag.name == QLatin1String("table")) {
            if (tag.closing) {
                deep = depth > limits::kTableDepth;
                depth = std::max(0, depth - 1);
            } else {
                deep = ++depth > limits::kTableDepth;
            }
        } else if (isTablePart(tag.name)) {
            deep = depth > limits::kTableDepth;
        }
        if (deep) {
            // Each deep table, row and cell becomes a block of its own: the text stays, in order.
            out += QStringView(html).mid(copied, tag.nameStart - copied);
            out += QLatin1String("div");
            copied = tag.nameEnd;
        } else if (!tag.closing && tag.name == QLatin1String("img")) {
            const QRegularExpressionMatch m = dataSrc.match(QStringView(html).mid(tag.nameEnd, tag.end - tag.nameEnd));
            if (m.hasMatch()) {
                // A long "data:" address makes the layout engine's URL handling crawl; the picture
                // is decoded from the text when it is first drawn.
                int group = 1;
                while (m.capturedStart(group) < 0)
                    ++group;
                const qsizetype at = tag.nameEnd + m.capturedStart(group);
                const QString name = QStringLiteral("dbtext-res:%1").arg(images.size() + 1);
                images.insert(name, m.captured(group));
                out += QStringView(html).mid(copied, at - copied);
                out += name;
                copied = at + m.capturedLength(group);
            }
        }
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    return out;
}

QString htmlForFile(const PageSource& src) {
    const QString meta =
        QStringLiteral("<meta charset=\"utf-8\"><meta name=\"dbtext-page\" content=\"%1\">").arg(src.page.toText());
    if (src.kind != PageSource::Kind::Html) {
        // Plain text: a paragraph per line, blanks and tabs kept, in the view's default font.
        QString html = QStringLiteral("<!DOCTYPE html>\n<html><head>") + meta +
                       QStringLiteral("</head><body style=\"font-family:'IPAPGothic','IPAGothic',sans-serif; "
                                      "font-size:10.5pt\">\n");
        html.reserve(html.size() + src.text.size() * 11 / 10 + 64);
        for (const QStringView line : QStringView(src.text).split(QLatin1Char('\n'))) {
            const QString text = line.toString().remove(QLatin1Char('\r')).toHtmlEscaped();
            html += QStringLiteral("<p style=\"margin:0; white-space:pre-wrap\">") +
                    (text.isEmpty() ? QStringLiteral("<br>") : text) + QStringLiteral("</p>\n");
        }
        return html + QStringLiteral("</body></html>\n");
    }
    // The page's own HTML: only its character set declarations and an older page setup are taken
    // out, as the file is written in UTF-8 with the setup in force.
    static const QRegularExpression oldMeta(
        QStringLiteral("<meta\\s[^>]*(charset\\s*=|name\\s*=\\s*[\"']?dbtext-page)[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression headTag(QStringLiteral("<head(\\s[^>]*)?>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression htmlTag(QStringLiteral("<html(\\s[^>]*)?>"),
                                            QRegularExpression::CaseInsensitiveOption);
    const qsizetype end = headEnd(src.text);
    QString head = src.text.left(end);
    head.remove(oldMeta);
    if (const auto m = headTag.match(head); m.hasMatch())
        head.insert(m.capturedEnd(), meta);
    else if (const auto h = htmlTag.match(head); h.hasMatch())
        head.insert(h.capturedEnd(), QStringLiteral("<head>") + meta + QStringLiteral("</head>"));
    else
        head.prepend(meta);
    head.append(QStringView(src.text).mid(end));
    return head;
}

} // namespace platform::source
