// BookExport: the branch read from the tree, and written page by page (never all held) as a PDF with
// an outline and links between its pages, or as one HTML file with a table of contents.
#include "book/BookExport.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "richtext/DocumentIo.h"
#include "richtext/PageSource.h"
#include "richtext/PdfLinks.h"
#include "util/Vb.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>
#include <QUrl>

#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace book {

namespace {

struct Child {
    qint32 no = 0;
    QString title;
    bool link = false, hidden = false;
};

/// The children of a page in their order; false when they cannot be read.
bool childrenOf(docdb::zSvr& svr, qint32 parent, QVector<Child>& out) {
    out.clear();
    docdb::Recordset rs;
    bool ok = false;
    svr.R_Rset(docdb::sql::kBranchChildren + QString::number(parent) + docdb::sql::kRunOrder, rs, ok, 0);
    if (!ok)
        return false;
    try {
        for (; !rs.eof(); rs.moveNext())
            if (const std::optional<qint32> no = util::pageNumber(rs.field(0))) // anything else is no page
                out.push_back({*no, rs.field(1).toString(), rs.field(2).toInt() == 1, rs.field(3).toInt() == 1});
    } catch (const util::VbError&) {
        return false;
    }
    rs.close();
    return true;
}

/// The target page of a page link's data string ("TG_n", or "TG_x_n"), if it is one.
std::optional<qint32> linkedPage(const QString& data) {
    if (!data.startsWith(QLatin1String("TG_"), Qt::CaseInsensitive))
        return std::nullopt;
    QString target = data.mid(3);
    if (const qsizetype bar = target.indexOf(QLatin1Char('_')); bar >= 0)
        target = target.mid(bar + 1);
    return util::pageNumber(target);
}

/// A page as stored; an empty page for a Null document or one that is not there.
bool readPage(docdb::zSvr& svr, qint32 no, richtext::PageSource& src, QString& reason) {
    src = richtext::PageSource();
    docdb::Recordset rs;
    bool ok = false;
    svr.R_Rset(docdb::sql::kDocument + QString::number(no), rs, ok, 2);
    if (!ok) {
        reason = QStringLiteral("Read Err  文書No:%1 (%2)").arg(no).arg(svr.lastError());
        return false;
    }
    try {
        if (!rs.eof()) {
            const QVariant doc = rs.field(QStringLiteral("obDoc"));
            if (!util::isNull(doc) && !richtext::source::decode(doc.toByteArray(), 9, src))
                src = richtext::PageSource(); // a document in no format the reader knows shows empty
        }
    } catch (const util::VbError& e) {
        reason = QStringLiteral("Read Err  文書No:%1 (%2)").arg(no).arg(QString::fromUtf8(e.what()));
        return false;
    }
    rs.close();
    return true;
}

const QString kCancelled = QStringLiteral("書き出しを中止しました");

/// A title as the book shows it: control characters (a tab, a line break, NUL) as blanks, as the
/// find's lines show them.
QString shownTitle(const QString& title) {
    QString t = title;
    for (QChar& c : t)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return t;
}

bool writePdf(docdb::zSvr& svr, const Branch& b, const QString& file, const Progress& progress, QString& reason) {
    // Written as it goes into a file beside the book, which takes the book's name only when whole.
    QTemporaryFile pdfFile(QFileInfo(file).absolutePath() + QStringLiteral("/.dbtext-book-XXXXXX.pdf"));
    if (!pdfFile.open()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    QVector<richtext::pdflinks::Link> links;
    QVector<double> heights;
    QHash<qint32, int> firstSheet;
    {
        QPdfWriter pdf(&pdfFile);
        pdf.setCreator(QStringLiteral("DB Text"));
        pdf.setTitle(shownTitle(b.title));
        QPainter painter;
        int written = 0;
        for (int i = 0; i < b.pages.size(); ++i) {
            if (progress && !progress(i, int(b.pages.size()))) {
                reason = kCancelled;
                return false;
            }
            richtext::PageSource src;
            if (!readPage(svr, b.pages[i], src, reason))
                return false;
            firstSheet.insert(b.pages[i], written);
            if (!richtext::docio::drawPdfSheets(pdf, painter, src, false, written, links, heights, nullptr, reason))
                return false;
        }
        if (painter.isActive())
            painter.end();
    }
    // Page links whose page is in the book lead to its first sheet; every other link stays as stored.
    for (richtext::pdflinks::Link& link : links)
        if (const std::optional<qint32> to = linkedPage(link.uri); to && firstSheet.contains(*to))
            link.target = firstSheet.value(*to);
    QVector<richtext::pdflinks::OutlineItem> outline;
    for (const Entry& e : b.entries)
        outline.push_back({shownTitle(e.title), e.depth, firstSheet.value(e.no, -1)});
    // The outline and the links as an update after the PDF's last byte; only the parts of the PDF it
    // refers to are read, from the file mapped.
    QByteArray update;
    bool made = false;
    if (pdfFile.flush()) {
        const qint64 size = pdfFile.size();
        if (uchar* map = size > 0 ? pdfFile.map(0, size) : nullptr) {
            made = richtext::pdflinks::bookUpdate(
                QByteArray::fromRawData(reinterpret_cast<const char*>(map), qsizetype(size)), links, heights, outline,
                update);
            pdfFile.unmap(map);
        }
    }
    if (!made) {
        reason = QStringLiteral("PDF に目次とリンクを書き込めません");
        return false;
    }
    if (progress && !progress(int(b.pages.size()), int(b.pages.size()))) {
        reason = kCancelled;
        return false;
    }
    pdfFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                           QFileDevice::ReadOther);
    bool onDisk = pdfFile.seek(pdfFile.size()) && pdfFile.write(update) == update.size() && pdfFile.flush();
#ifdef Q_OS_UNIX
    onDisk = onDisk && ::fsync(pdfFile.handle()) == 0;
#endif
    if (!onDisk || std::rename(QFile::encodeName(pdfFile.fileName()).constData(), QFile::encodeName(file).constData()) != 0) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    pdfFile.setAutoRemove(false); // it is the book now
    return true;
}

/// The inside of an HTML file's body (the whole text when it has none).
QString bodyOf(const QString& html) {
    static const QRegularExpression open(QStringLiteral("<body[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression close(QStringLiteral("</body\\s*>"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch o = open.match(html);
    const qsizetype from = o.hasMatch() ? o.capturedEnd() : 0;
    const QRegularExpressionMatch c = close.match(html, from);
    return html.mid(from, c.hasMatch() ? c.capturedStart() - from : -1);
}

/// The anchor of a page in the book, of a form no stored page uses for its own.
QString anchorOf(qint32 no) {
    return QStringLiteral("dbtext-p%1").arg(no);
}

/// A page's links made to work in the book: a page link to a page of the book leads to its anchor;
/// an address stays as it is; a file named relative to the database's folder becomes its full
/// address. A link that cannot lead anywhere from the book (a page outside it, a hint, an attached
/// XML document) keeps its text and data without being a link.
QString bookLinks(const QString& body, const QSet<qint32>& inBook, const QString& dbFolder) {
    static const QRegularExpression href(QStringLiteral("\\bhref\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>\"']+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral("^[a-z][a-z0-9+.-]*:"), QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype at = 0;
    for (auto it = href.globalMatch(body); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString target = m.hasCaptured(1) ? m.captured(1) : m.hasCaptured(2) ? m.captured(2) : m.captured(3);
        const QString data = target.toHtmlEscaped();
        QString replaced;
        const QString kind = target.left(3).toUpper();
        if (const std::optional<qint32> to = linkedPage(target); to && inBook.contains(*to))
            replaced = QStringLiteral("href=\"#%1\"").arg(anchorOf(*to));
        else if (kind == QLatin1String("TG_") || kind == QLatin1String("TP_") || kind == QLatin1String("DX_") ||
                 target.isEmpty() || target.startsWith(QLatin1Char('#')))
            replaced = QStringLiteral("data-dbtext-link=\"%1\"").arg(data);
        else if (scheme.match(target).hasMatch() && !target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
            continue; // an address: as stored
        else if (!dbFolder.isEmpty())
            replaced = QStringLiteral("href=\"%1\"")
                           .arg(QUrl::fromLocalFile(QDir(dbFolder).absoluteFilePath(
                                                        target.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)
                                                            ? QUrl(target).toLocalFile()
                                                            : target))
                                    .toString(QUrl::FullyEncoded)
                                    .toHtmlEscaped());
        else
            replaced = QStringLiteral("data-dbtext-link=\"%1\"").arg(data);
        out += QStringView(body).mid(at, m.capturedStart() - at);
        out += replaced;
        at = m.capturedEnd();
    }
    out += QStringView(body).mid(at);
    return out;
}

bool writeHtml(docdb::zSvr& svr, const Branch& b, const QString& file, const Progress& progress, QString& reason) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    const QSet<qint32> inBook(b.pages.begin(), b.pages.end());
    auto put = [&out](const QString& text) { out.write(text.toUtf8()); };
    const QString bookTitle = shownTitle(b.title).toHtmlEscaped();
    put(QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>") + bookTitle +
        QStringLiteral("</title>\n<style>\nbody { max-width: 60em; margin: auto; padding: 1em; }\n"
                       "nav ul { list-style: none; padding-left: 1.2em; }\n"
                       "section.page { border-top: 1px solid #999; margin-top: 2em; }\n"
                       "h1.page-title { font-size: 1.4em; }\n</style>\n</head>\n<body>\n<h1>") +
        bookTitle + QStringLiteral("</h1>\n<nav id=\"toc\">\n"));
    // The table of contents as nested lists: a deeper entry's list inside the entry above it.
    int level = -1;
    for (const Entry& e : b.entries) {
        if (e.depth > level) {
            put(QStringLiteral("<ul>\n"));
            ++level;
        } else {
            put(QStringLiteral("</li>\n"));
            for (; level > e.depth; --level)
                put(QStringLiteral("</ul></li>\n"));
        }
        const QString title = shownTitle(e.title).toHtmlEscaped();
        put(inBook.contains(e.no) ? QStringLiteral("<li><a href=\"#%1\">%2</a>").arg(anchorOf(e.no), title)
                                  : QStringLiteral("<li>%1").arg(title));
    }
    for (; level >= 0; --level)
        put(level > 0 ? QStringLiteral("</li></ul></li>\n") : QStringLiteral("</li></ul>\n"));
    put(QStringLiteral("</nav>\n"));
    QHash<qint32, QString> titles;
    for (const Entry& e : b.entries)
        if (e.own)
            titles.insert(e.no, e.title);
    for (int i = 0; i < b.pages.size(); ++i) {
        if (progress && !progress(i, int(b.pages.size()))) {
            out.cancelWriting();
            reason = kCancelled;
            return false;
        }
        const qint32 no = b.pages[i];
        richtext::PageSource src;
        if (!readPage(svr, no, src, reason)) {
            out.cancelWriting();
            return false;
        }
        const QString linked =
            bookLinks(bodyOf(richtext::source::htmlForFile(src)), inBook,
                      svr.databaseFile().isEmpty() ? QString() : QFileInfo(svr.databaseFile()).absolutePath());
        put(QStringLiteral("<section class=\"page\" id=\"%1\">\n<h1 class=\"page-title\">%2</h1>\n")
                .arg(anchorOf(no), shownTitle(titles.value(no)).toHtmlEscaped()) +
            linked + QStringLiteral("\n</section>\n"));
    }
    put(QStringLiteral("</body>\n</html>\n"));
    if (progress && !progress(int(b.pages.size()), int(b.pages.size()))) {
        out.cancelWriting();
        reason = kCancelled;
        return false;
    }
    if (!out.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    return true;
}

} // namespace

int bookKind(const QString& file) {
    const QString ext = QFileInfo(file).suffix().toLower();
    if (ext == QLatin1String("pdf"))
        return 1;
    if (ext == QLatin1String("htm") || ext == QLatin1String("html"))
        return 2;
    return 0;
}

bool readBranch(docdb::zSvr& svr, qint32 root, bool all, Branch& branch, QString& error, bool* noSuchPage) {
    branch = Branch();
    if (noSuchPage)
        *noSuchPage = false;
    const auto unreadable = [&error, &svr] {
        error = QStringLiteral("ツリーを読めません (%1)").arg(svr.lastError());
        return false;
    };
    QSet<qint32> exported, onPath;
    struct Frame {
        QVector<Child> kids;
        int next = 0;
        int depth = 0;
        qint32 no = 0;
    };
    QVector<Frame> stack;
    Frame top;
    if (root != 0) {
        QVariant title;
        docdb::Recordset rs;
        bool ok = false;
        svr.R_Rset(docdb::sql::kTitle + QString::number(root), rs, ok, 0);
        if (!ok)
            return unreadable();
        if (rs.eof()) {
            error = QStringLiteral("文書No:%1 はありません").arg(root);
            if (noSuchPage)
                *noSuchPage = true;
            return false;
        }
        try {
            branch.title = rs.field(0).toString();
        } catch (const util::VbError&) {
            return unreadable();
        }
        rs.close();
        branch.entries.push_back({branch.title, root, 0, true});
        exported.insert(root);
        onPath.insert(root);
        top.depth = 1;
    } else {
        branch.title = QFileInfo(svr.databaseFile().isEmpty() ? QStringLiteral("DB Text") : svr.databaseFile())
                           .completeBaseName();
    }
    top.no = root;
    if (!childrenOf(svr, root, top.kids))
        return unreadable();
    stack.push_back(std::move(top));
    // Depth first without recursion: a deep tree needs no deep stack.
    while (!stack.isEmpty()) {
        Frame& f = stack.back();
        if (f.next == f.kids.size()) {
            onPath.remove(f.no);
            stack.removeLast();
            continue;
        }
        const Child c = f.kids[f.next++];
        const int depth = f.depth;
        if (c.hidden && !all)
            continue;
        // A page is exported at its first own placement; a link placement points to it.
        const bool own = !c.link && !exported.contains(c.no) && !onPath.contains(c.no);
        branch.entries.push_back({c.title, c.no, depth, own});
        if (!own)
            continue;
        exported.insert(c.no);
        Frame below;
        below.depth = depth + 1;
        below.no = c.no;
        if (!childrenOf(svr, c.no, below.kids))
            return unreadable();
        onPath.insert(c.no);
        stack.push_back(std::move(below));
    }
    // A page the branch holds through link placements alone is exported at the first of them.
    for (Entry& e : branch.entries)
        if (!e.own && !exported.contains(e.no)) {
            e.own = true;
            exported.insert(e.no);
        }
    for (const Entry& e : branch.entries)
        if (e.own)
            branch.pages.push_back(e.no);
    return true;
}

bool writeBook(docdb::zSvr& svr, const Branch& branch, const QString& file, const Progress& progress,
               QString& reason) {
    if (branch.pages.isEmpty()) {
        reason = QStringLiteral("書き出すﾍﾟｰｼﾞがありません");
        return false;
    }
    switch (bookKind(file)) {
    case 1:
        return writePdf(svr, branch, file, progress, reason);
    case 2:
        return writeHtml(svr, branch, file, progress, reason);
    default:
        reason = QStringLiteral("%1 は書き出せません。拡張子は .pdf .htm .html のどれかにして下さい")
                     .arg(QFileInfo(file).fileName());
        return false;
    }
}

} // namespace book
