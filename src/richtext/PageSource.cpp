// PageSource: telling HTML from plain text, the reader's copy, bounded HTML and the HTML file form.
#include "richtext/PageSource.h"

#include "platform/TextCodec.h"

#include <QRegularExpression>
#include <QSet>

namespace richtext::source {

namespace {

/// A set of element names, built once where it is used.
QSet<QString> nameSet(std::initializer_list<const char*> names) {
    QSet<QString> set;
    for (const char* n : names)
        set.insert(QString::fromLatin1(n));
    return set;
}

const QByteArray kCopyMagic = QByteArrayLiteral("DBTEXT-COPY ");
const QByteArray kCopyV1 = QByteArrayLiteral("DBTEXT-COPY 1\n"); // older copies: HTML of Qt's writer
const QByteArray kCopyV2 = QByteArrayLiteral("DBTEXT-COPY 2\n");

QString decodeStored(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (platform::TextCodec::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return platform::TextCodec::fromAnsi(bytes);
}

bool isTagChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// Elements of HTML as stored pages use them; a tag of one of these makes a page HTML.
const QSet<QString>& knownElements() {
    static const QSet<QString> names = nameSet(
        {"html",       "head",  "body",  "title",   "meta", "style",  "p",       "br",    "div",     "span", "a",
         "b",          "i",     "u",     "s",       "em",   "strong", "font",    "table", "tr",      "td",   "th",
         "thead",      "tbody", "tfoot", "caption", "h1",   "h2",     "h3",      "h4",    "h5",      "h6",   "ul",
         "ol",         "li",    "dl",    "dt",      "dd",   "pre",    "code",    "tt",    "hr",      "img",  "center",
         "blockquote", "sub",   "sup",   "small",   "big",  "cite",   "address", "nobr",  "strike",  "del",  "ins",
         "kbd",        "samp",  "var",   "dfn",     "q",    "link",   "base",    "col",   "colgroup"});
    return names;
}

/// Block elements that hold other blocks and need their end tag: each one nests its content one
/// level deeper, which the layout engine pays for at every level.
bool isNestingInline(const QString& name) {
    static const QSet<QString> names =
        nameSet({"span", "b",  "i",    "u", "s",   "a",    "font", "em",  "strong", "sub", "sup", "small", "big",
                 "code", "tt", "cite", "q", "kbd", "samp", "var",  "dfn", "strike", "del", "ins", "nobr"});
    return names.contains(name);
}

bool isNestingBlock(const QString& name) {
    static const QSet<QString> names =
        nameSet({"li",  "dd",         "dt",     "pre",  "h1",     "h2",     "h3",       "h4",      "h5",      "h6",
                 "div", "blockquote", "ul",     "ol",   "dl",     "center", "table",    "section", "article", "aside",
                 "nav", "header",     "footer", "main", "figure", "form",   "fieldset", "details", "address", "menu"});
    return names.contains(name);
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
    static const QSet<QString> closers = nameSet({"p", "div", "pre", "table", "dl", "ul", "ol", "h1", "h2", "h3", "h4",
                                                  "h5", "h6", "blockquote", "center", "li", "dd"});
    if (!tag.closing)
        return tag.name == QLatin1String("br") || tag.name == QLatin1String("hr");
    return closers.contains(tag.name);
}

// A place near at that does not split a surrogate pair.
qsizetype safeCut(const QString& text, qsizetype at) {
    return at < text.size() && text.at(at).isLowSurrogate() ? at + 1 : at;
}

/// Elements that make blocks of their own (or end the body): loose inline content before one of
/// them ends there.
bool isBlockLevel(const QString& name) {
    static const QSet<QString> names = nameSet(
        {"p",       "div",   "h1",      "h2",         "h3",     "h4",    "h5",       "h6",   "pre",      "ul",
         "ol",      "li",    "dl",      "dt",         "dd",     "table", "tr",       "td",   "th",       "thead",
         "tbody",   "tfoot", "caption", "blockquote", "center", "hr",    "address",  "form", "fieldset", "section",
         "article", "aside", "nav",     "header",     "footer", "main",  "figure",   "body", "html",     "head",
         "title",   "style", "meta",    "link",       "base",   "col",   "colgroup", "xmp",  "menu",     "details"});
    return names.contains(name);
}

/// Whether a block just ended: inline content after it would be merged into it by the layout engine.
bool endsBlockForLoose(const Tag& tag) {
    if (!tag.closing)
        return tag.name == QLatin1String("hr");
    static const QSet<QString> names = nameSet({"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "ul", "ol", "dl",
                                                "table", "blockquote", "center", "address", "xmp"});
    return names.contains(tag.name);
}

/// Loose inline content after a block (a heading followed by text or by "<b>…" that is in no block of
/// its own) is put in a block of its own, as browsers show it: Qt's HTML import would otherwise run it
/// into the block before it ("書式 bash …" on one line), depending on the blanks between them.
QString separateLoose(const QString& html) {
    QString out;
    qsizetype copied = 0; // html before this index is in out
    bool afterBlock = false, loose = false;
    qsizetype gapFrom = bodyStart(html);
    Tag tag;
    for (qsizetype from = gapFrom; nextTag(html, from, tag); from = tag.end) {
        const QStringView gap = QStringView(html).mid(gapFrom, tag.lt - gapFrom);
        qsizetype text = 0;
        while (text < gap.size() && gap.at(text).isSpace())
            ++text;
        const bool block = isBlockLevel(tag.name);
        if (afterBlock && !loose && (text < gap.size() || (!block && !tag.closing))) {
            // The loose run starts at its text or at this inline tag; the blanks before it become one
            // line break, which the import takes as none.
            out += QStringView(html).mid(copied, gapFrom - copied);
            out += text < gap.size() ? gap.left(text) : QStringView(u"\n");
            out += QLatin1String("<div>");
            copied = text < gap.size() ? gapFrom + text : tag.lt;
            loose = true;
        }
        if (loose && block) {
            out += QStringView(html).mid(copied, tag.lt - copied);
            out += QLatin1String("</div>");
            copied = tag.lt;
            loose = false;
        }
        if (!loose)
            afterBlock = endsBlockForLoose(tag);
        gapFrom = std::min(tag.end + 1, html.size());
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    if (loose)
        out += QLatin1String("</div>");
    return out;
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
        if (!platform::TextCodec::isValidUtf8(body))
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

namespace {

// Elements that a part may begin inside of; they are opened again at the part's start.
bool isContainer(const QString& name) {
    static const QSet<QString> names = nameSet({"table", "thead", "tbody", "tfoot", "tr", "td", "th", "pre", "xmp",
                                                "div", "blockquote", "center", "ul", "ol", "dl", "font"});
    return names.contains(name);
}

// The elements open at the scanner's place, innermost last, with their opening tags' text. Rows
// and cells close the ones before them, as HTML readers take them.
class OpenElements {
public:
    void open(const QString& text, const Tag& tag) {
        const QString& n = tag.name;
        if (n == QLatin1String("tr"))
            popUntil({"table", "thead", "tbody", "tfoot"});
        else if (n == QLatin1String("td") || n == QLatin1String("th"))
            popUntil({"tr", "table"});
        else if (n == QLatin1String("thead") || n == QLatin1String("tbody") || n == QLatin1String("tfoot"))
            popUntil({"table"});
        if (m_stack.size() < 64)
            m_stack.push_back({n, text.mid(tag.lt, tag.end + 1 - tag.lt)});
    }
    void close(const QString& name) {
        for (qsizetype i = m_stack.size() - 1; i >= 0; --i)
            if (m_stack[i].name == name) {
                m_stack.resize(i);
                return;
            }
    }
    int tables() const {
        int n = 0;
        for (const auto& e : m_stack)
            n += e.name == QLatin1String("table");
        return n;
    }
    bool in(const char* name) const {
        for (const auto& e : m_stack)
            if (e.name == QLatin1String(name))
                return true;
        return false;
    }
    QString reopen() const {
        QString s;
        for (const auto& e : m_stack)
            s += e.tag;
        return s;
    }

private:
    struct Element {
        QString name;
        QString tag;
    };
    void popUntil(std::initializer_list<const char*> stops) {
        while (!m_stack.isEmpty()) {
            for (const char* stop : stops)
                if (m_stack.back().name == QLatin1String(stop))
                    return;
            if (m_stack.back().name == QLatin1String("table"))
                return; // never beyond the table the row or cell belongs to
            m_stack.pop_back();
        }
    }
    QVector<Element> m_stack;
};

// A place in [from, to) to cut a long run of text: after a line break, else after a blank or a
// Japanese full stop, else anywhere; never inside a character reference or a surrogate pair.
qsizetype textCut(const QString& text, qsizetype from, qsizetype to) {
    const qsizetype window = std::min<qsizetype>(to, from + limits::kPartWeight / 8);
    for (const QChar mark : {QChar(u'\n'), QChar(u'。'), QChar(u' ')}) {
        const qsizetype at = text.indexOf(mark, from);
        if (at >= 0 && at < window)
            return at + 1;
    }
    qsizetype cut = safeCut(text, from);
    const qsizetype amp = text.lastIndexOf(QLatin1Char('&'), cut - 1);
    if (amp >= 0 && cut - amp < 12 && text.indexOf(QLatin1Char(';'), amp) >= cut)
        cut = amp;
    return cut;
}

} // namespace

QVector<PagePart> partition(const PageSource& src) {
    const QString& text = src.text;
    const qsizetype want = limits::kPartWeight;
    QVector<PagePart> parts;
    qsizetype start = 0;
    QString reopen;
    qsizetype weight = 0;
    auto cut = [&](qsizetype at, const QString& next) {
        parts.push_back({start, at, reopen});
        start = at;
        reopen = next;
        weight = 0;
    };
    if (src.kind != PageSource::Kind::Html) {
        while (text.size() - start > want * 3 / 2) {
            qsizetype at = textCut(text, start + want, text.size());
            if (text.lastIndexOf(QLatin1Char('\n'), at - 1) < start) // one long line: smaller pieces
                at = textCut(text, start + want / 4, text.size());
            cut(at, QString());
        }
    } else {
        OpenElements open;
        qsizetype from = bodyStart(text);
        Tag tag;
        bool more = true;
        while (more) {
            more = nextTag(text, from, tag);
            const qsizetype runEnd = more ? tag.lt : text.size();
            // A long run of text without tags (a huge paragraph or preformatted block) is cut inside,
            // in smaller pieces: one paragraph is one block, which the layout takes in one go.
            const qsizetype piece = want / 4;
            while (runEnd - from > piece) {
                const qsizetype at =
                    std::max(from + 1, textCut(text, from + std::max(piece / 2, piece - weight), runEnd));
                cut(at, open.reopen());
                from = at;
            }
            weight += runEnd - from;
            if (!more)
                break;
            weight += tag.end - tag.lt;
            if (knownElements().contains(tag.name)) {
                if (tag.closing) {
                    open.close(tag.name);
                } else if (isContainer(tag.name)) {
                    open.open(text, tag);
                    if (tag.name == QLatin1String("td") || tag.name == QLatin1String("th"))
                        weight += qsizetype(limits::kCellWeight)
                                  << std::clamp(open.tables() - 1, 0, limits::kTableDepth - 1);
                }
            }
            from = tag.end + 1;
            // Parts end after a block: a paragraph, a list, a table row, or where a block of blocks
            // opens (blocks nested without end leave no other place); failing that, anywhere.
            const bool blockEnd = endsBlock(tag) || (tag.closing && tag.name == QLatin1String("tr")) ||
                                  (!tag.closing && isNestingBlock(tag.name) && tag.name != QLatin1String("table"));
            if (from < text.size() && ((weight >= want && blockEnd && !open.in("pre")) || weight >= 2 * want))
                cut(from, open.reopen());
        }
    }
    parts.push_back({start, text.size(), reopen});
    // A short last part goes with the one before it.
    if (parts.size() > 1 && parts.back().end - parts.back().start < want / 4) {
        parts[parts.size() - 2].end = text.size();
        parts.pop_back();
    }
    return parts;
}

PageSource part(const PageSource& src, const QVector<PagePart>& parts, int i) {
    if (parts.size() < 2 || i < 0 || i >= parts.size())
        return src;
    PageSource p = src;
    const PagePart& pp = parts[i];
    const QStringView slice = QStringView(src.text).mid(pp.start, pp.end - pp.start);
    if (src.kind == PageSource::Kind::Html && i > 0) {
        // Later parts take the page's head, so that styles and the page setup stay the same.
        qsizetype head = bodyStart(src.text);
        if (head == 0) {
            static const QRegularExpression headEndTag(QStringLiteral("</head\\s*>"),
                                                       QRegularExpression::CaseInsensitiveOption);
            const auto m = headEndTag.match(QStringView(src.text).left(parts[0].end));
            head = m.hasMatch() ? m.capturedEnd() : 0;
        }
        p.text = src.text.left(head) + pp.reopen;
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
    // The open nesting blocks, each with whether it was kept; blocks deeper than the bound are left
    // out (a line break stands for each), their text stays in order.
    struct Open {
        QString name;
        bool kept;
    };
    QVector<Open> blocks;
    int keptBlocks = 0;
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
        bool dropped = false;
        const bool inlineTag = isNestingInline(tag.name);
        if (isNestingBlock(tag.name) || inlineTag) {
            if (!tag.closing) {
                // An item closes the item before it in its list, as HTML readers take it.
                const bool item = tag.name == QLatin1String("li");
                const bool term = tag.name == QLatin1String("dd") || tag.name == QLatin1String("dt");
                if (item || term) {
                    for (qsizetype at = blocks.size() - 1; at >= 0; --at) {
                        const QString& n = blocks[at].name;
                        if (item ? (n == QLatin1String("ul") || n == QLatin1String("ol") || n == QLatin1String("menu"))
                                 : n == QLatin1String("dl"))
                            break;
                        if (item ? n == QLatin1String("li") : (n == QLatin1String("dd") || n == QLatin1String("dt"))) {
                            for (qsizetype i = at; i < blocks.size(); ++i)
                                keptBlocks -= blocks[i].kept ? 1 : 0;
                            blocks.resize(at);
                            break;
                        }
                    }
                }
                const bool keep = keptBlocks < limits::kBlockDepth;
                blocks.append({tag.name, keep});
                keptBlocks += keep ? 1 : 0;
                dropped = !keep;
            } else {
                // An end tag closes its element and whatever was left open inside it.
                qsizetype at = blocks.size() - 1;
                while (at >= 0 && blocks[at].name != tag.name)
                    --at;
                if (at >= 0) {
                    dropped = !blocks[at].kept;
                    for (qsizetype i = at; i < blocks.size(); ++i)
                        keptBlocks -= blocks[i].kept ? 1 : 0;
                    blocks.resize(at);
                }
            }
        } else if (deep && keptBlocks >= limits::kBlockDepth) {
            dropped = true; // a deep table's rows and cells inside blocks already too deep
        }
        if (dropped) {
            out += QStringView(html).mid(copied, tag.lt - copied);
            if (!tag.closing && !inlineTag)
                out += QLatin1String("<p>");
            copied = std::min(tag.end + 1, html.size());
        } else if (deep) {
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
        return separateLoose(html);
    out += QStringView(html).mid(copied);
    return separateLoose(out);
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

} // namespace richtext::source
