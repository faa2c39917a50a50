// PdfLinks: link areas from the layout, and an incremental update that adds them to the PDF.
#include "richtext/PdfLinks.h"

#include "richtext/PageDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>

#include <cmath>
#include <functional>

namespace richtext::pdflinks {

namespace {

// The offsets of the objects, from the cross-reference table at xref ("xref", then sections of a
// "first count" line and count entries "offset generation n|f").
QHash<int, qsizetype> objectOffsets(const QByteArray& pdf, qsizetype xref) {
    QHash<int, qsizetype> offsets;
    if (!pdf.mid(xref, 4).startsWith("xref"))
        return offsets;
    const QList<QByteArray> lines = pdf.mid(xref, pdf.indexOf("trailer", xref) - xref).split('\n');
    int next = -1;
    int left = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].simplified().split(' ');
        if (f.size() == 2 && left == 0) {
            next = f[0].toInt();
            left = f[1].toInt();
        } else if (f.size() == 3 && left > 0) {
            if (f[2] == "n")
                offsets.insert(next, f[0].toLongLong());
            ++next;
            --left;
        }
    }
    return offsets;
}

// The dictionary text of object num ("<< … >>"), or empty when it is not where the table says.
QByteArray objectDict(const QByteArray& pdf, const QHash<int, qsizetype>& offsets, int num) {
    const qsizetype at = offsets.value(num, -1);
    const QByteArray head = QByteArray::number(num) + " 0 obj";
    if (at < 0 || pdf.mid(at, head.size()) != head)
        return {};
    const qsizetype end = pdf.indexOf("endobj", at);
    if (end < 0)
        return {};
    const QByteArray body = pdf.mid(at + head.size(), end - at - head.size()).trimmed();
    return body.startsWith("<<") && body.endsWith(">>") ? body : QByteArray();
}

// The object number of a reference "/Key N 0 R" in a dictionary, or -1.
int reference(const QByteArray& dict, const char* key) {
    const QRegularExpression re(QStringLiteral("/%1\\s+(\\d+)\\s+0\\s+R").arg(QLatin1String(key)));
    const auto m = re.match(QString::fromLatin1(dict));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QByteArray number(double v) {
    return QByteArray::number(v, 'f', 2);
}

} // namespace

QVector<Link> collect(const PageDocument& paged, const PageSetup& page) {
    QVector<Link> links;
    const double pageH = page.heightPx();
    constexpr double kPointsPerUnit = 0.75; // layout units are 1/96 inch
    auto* layout = paged.documentLayout();
    for (const TextField& field : paged.fields()) {
        for (QTextBlock b = paged.findBlock(field.start); b.isValid() && b.position() < field.end; b = b.next()) {
            const QTextLayout* tl = b.layout();
            if (!tl)
                continue;
            const QRectF br = layout->blockBoundingRect(b);
            for (int i = 0; i < tl->lineCount(); ++i) {
                const QTextLine line = tl->lineAt(i);
                const int lineStart = b.position() + line.textStart();
                const int s = std::max(field.start, lineStart);
                const int e = std::min(field.end, lineStart + line.textLength());
                if (s >= e)
                    continue;
                const double x1 = line.cursorToX(s - b.position());
                const double x2 = line.cursorToX(e - b.position());
                const double top = br.top() + line.y();
                const int index = int(std::floor((top + line.height() / 2) / pageH));
                const QRectF area(br.left() + std::min(x1, x2), top - index * pageH, std::abs(x2 - x1), line.height());
                links.push_back(
                    {index, QRectF(area.topLeft() * kPointsPerUnit, area.size() * kPointsPerUnit), field.data});
            }
        }
    }
    std::stable_sort(links.begin(), links.end(), [](const Link& a, const Link& b) { return a.page < b.page; });
    return links;
}

QByteArray pdfString(const QString& text) {
    QByteArray out("(");
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '(' || c == ')') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += '\\' + QByteArray::number(u, 8).rightJustified(3, '0');
        } else {
            out += c;
        }
    }
    return out + ')';
}

namespace {

/// A PDF text string of any characters: UTF-16BE with its byte order mark, in hex.
QByteArray pdfTextString(const QString& text) {
    QByteArray out("<FEFF");
    for (const QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return out + '>';
}

/// The incremental update shared by a page's links and a book: annotations, and an outline with a
/// new catalog when one is given.
bool makeUpdate(const QByteArray& pdf, QByteArray& update, const QVector<Link>& links,
                const std::function<double(int)>& sheetHeight, const QVector<OutlineItem>& outline) {
    update.clear();
    if (links.isEmpty() && outline.isEmpty())
        return true;
    // The trailer of the file as written: its size, root, info and where its cross-reference table is.
    const qsizetype sx = pdf.lastIndexOf("startxref");
    const qsizetype tr = pdf.lastIndexOf("trailer", sx);
    if (sx < 0 || tr < 0)
        return false;
    const QByteArray trailer = pdf.mid(tr, sx - tr);
    bool ok = false;
    const qlonglong prevXref = pdf.mid(sx + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    static const QRegularExpression sizeRe(QStringLiteral("/Size\\s+(\\d+)"));
    const auto sizeMatch = sizeRe.match(QString::fromLatin1(trailer));
    const int root = reference(trailer, "Root");
    const int info = reference(trailer, "Info");
    if (!ok || !sizeMatch.hasMatch() || root < 0)
        return false;
    int next = sizeMatch.captured(1).toInt();
    const QHash<int, qsizetype> table = objectOffsets(pdf, prevXref);
    // The pages in order, from the page tree's kids.
    const int pagesObj = reference(objectDict(pdf, table, root), "Pages");
    const QByteArray pagesDict = objectDict(pdf, table, pagesObj);
    static const QRegularExpression kidsRe(QStringLiteral("/Kids\\s*\\[([^\\]]*)\\]"));
    const auto kids = kidsRe.match(QString::fromLatin1(pagesDict));
    if (!kids.hasMatch())
        return false;
    QVector<int> pages;
    static const QRegularExpression refRe(QStringLiteral("(\\d+)\\s+0\\s+R"));
    for (auto it = refRe.globalMatch(kids.captured(1)); it.hasNext();)
        pages.push_back(it.next().captured(1).toInt());
    // A place on a sheet: its top left.
    auto destination = [&](int sheet) {
        return "[" + QByteArray::number(pages[sheet]) + " 0 R /XYZ 0 " + number(sheetHeight(sheet)) + " null]";
    };

    update = pdf.endsWith('\n') ? QByteArray() : QByteArray("\n");
    QMap<int, qsizetype> offsets; // object number → offset of the new version
    QMap<int, QByteArray> annots; // page object → its annotation references
    for (const Link& link : links) {
        if (link.page < 0 || link.page >= pages.size())
            continue;
        const int num = next++;
        offsets[num] = pdf.size() + update.size();
        const QRectF& r = link.rect;
        const double h = sheetHeight(link.page);
        const QByteArray action = link.target >= 0 && link.target < pages.size()
                                      ? "/A << /Type /Action /S /GoTo /D " + destination(link.target) + " >>"
                                      : "/A << /Type /Action /S /URI /URI " + pdfString(link.uri) + " >>";
        update += QByteArray::number(num) + " 0 obj\n<<\n/Type /Annot\n/Subtype /Link\n/Rect [" + number(r.left()) +
                  ' ' + number(h - r.bottom()) + ' ' + number(r.right()) + ' ' + number(h - r.top()) +
                  "]\n/Border [0 0 0]\n" + action + "\n>>\nendobj\n";
        annots[pages[link.page]] += QByteArray::number(num) + " 0 R ";
    }
    static const QRegularExpression oldAnnots(QStringLiteral("/Annots\\s*(\\[[^\\]]*\\]|\\d+\\s+0\\s+R)"));
    for (auto it = annots.cbegin(); it != annots.cend(); ++it) {
        QString dict = QString::fromLatin1(objectDict(pdf, table, it.key()));
        if (dict.isEmpty())
            return false;
        dict.remove(oldAnnots);
        dict.insert(dict.size() - 2, QStringLiteral("/Annots [ %1]\n").arg(QString::fromLatin1(it.value())));
        offsets[it.key()] = pdf.size() + update.size();
        update += QByteArray::number(it.key()) + " 0 obj\n" + dict.toLatin1() + "\nendobj\n";
    }
    if (!outline.isEmpty()) {
        // The outline: each item under the nearest item before it that is one level higher.
        const int count = int(outline.size());
        const int first = next;
        const int outlines = first + count;
        next = outlines + 1;
        QVector<int> parent(count, -1), firstChild(count, -1), lastChild(count, -1), prev(count, -1), after(count, -1),
            descendants(count, 0), children(count, 0);
        QVector<int> open; // the items open at each depth
        int topFirst = -1, topLast = -1, tops = 0;
        for (int i = 0; i < count; ++i) {
            const int depth = std::clamp(outline[i].depth, 0, int(open.size()));
            open.resize(depth);
            parent[i] = depth > 0 ? open.back() : -1;
            const int p = parent[i];
            int& last = p >= 0 ? lastChild[p] : topLast;
            if (last >= 0) {
                after[last] = i;
                prev[i] = last;
            } else if (p >= 0) {
                firstChild[p] = i;
            } else {
                topFirst = i;
            }
            last = i;
            if (p < 0)
                ++tops;
            else
                ++children[p];
            for (int a = p; a >= 0; a = parent[a])
                ++descendants[a];
            open.push_back(i);
        }
        auto ref = [first](int i) { return QByteArray::number(first + i) + " 0 R"; };
        for (int i = 0; i < count; ++i) {
            offsets[first + i] = pdf.size() + update.size();
            QByteArray item = QByteArray::number(first + i) + " 0 obj\n<<\n/Title " + pdfTextString(outline[i].title) +
                              "\n/Parent " + (parent[i] >= 0 ? ref(parent[i]) : QByteArray::number(outlines) + " 0 R");
            if (prev[i] >= 0)
                item += "\n/Prev " + ref(prev[i]);
            if (after[i] >= 0)
                item += "\n/Next " + ref(after[i]);
            // The top level opens to show its children; deeper entries start closed.
            if (firstChild[i] >= 0)
                item += "\n/First " + ref(firstChild[i]) + "\n/Last " + ref(lastChild[i]) + "\n/Count " +
                        QByteArray::number(parent[i] < 0 ? children[i] : -descendants[i]);
            if (outline[i].sheet >= 0 && outline[i].sheet < pages.size())
                item += "\n/Dest " + destination(outline[i].sheet);
            update += item + "\n>>\nendobj\n";
        }
        offsets[outlines] = pdf.size() + update.size();
        int shown = tops;
        for (int i = 0; i < count; ++i)
            shown += parent[i] < 0 ? children[i] : 0;
        update += QByteArray::number(outlines) + " 0 obj\n<<\n/Type /Outlines\n/First " + ref(topFirst) + "\n/Last " +
                  ref(topLast) + "\n/Count " + QByteArray::number(shown) + "\n>>\nendobj\n";
        // The catalog again, with the outline and shown beside the sheets.
        QString catalog = QString::fromLatin1(objectDict(pdf, table, root));
        if (catalog.isEmpty())
            return false;
        static const QRegularExpression oldOutline(
            QStringLiteral("/(Outlines\\s*\\d+\\s+0\\s+R|PageMode\\s*/\\w+)"));
        catalog.remove(oldOutline);
        catalog.insert(catalog.size() - 2, QStringLiteral("/Outlines %1 0 R\n/PageMode /UseOutlines\n").arg(outlines));
        offsets[root] = pdf.size() + update.size();
        update += QByteArray::number(root) + " 0 obj\n" + catalog.toLatin1() + "\nendobj\n";
    }
    const qsizetype xref = pdf.size() + update.size();
    update += "xref\n";
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it)
        update += QByteArray::number(it.key()) + " 1\n" + QByteArray::number(it.value()).rightJustified(10, '0') +
                  " 00000 n \n";
    update += "trailer\n<< /Size " + QByteArray::number(next) + " /Root " + QByteArray::number(root) + " 0 R";
    if (info >= 0)
        update += " /Info " + QByteArray::number(info) + " 0 R";
    update += " /Prev " + QByteArray::number(prevXref) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return true;
}

} // namespace

bool append(QByteArray& pdf, const QVector<Link>& links, const PageSetup& page) {
    const double height = page.heightTw / 20.0;
    QByteArray update;
    if (!makeUpdate(pdf, update, links, [height](int) { return height; }, {}))
        return false;
    pdf += update;
    return true;
}

bool bookUpdate(const QByteArray& pdf, const QVector<Link>& links, const QVector<double>& sheetHeights,
                const QVector<OutlineItem>& outline, QByteArray& update) {
    return makeUpdate(
        pdf, update, links, [&sheetHeights](int sheet) { return sheetHeights.value(sheet, 0); }, outline);
}

} // namespace richtext::pdflinks
