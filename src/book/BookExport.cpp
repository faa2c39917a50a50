// BookExport: the branch read from the tree, and written page by page (never all held) as a PDF with
// an outline and links between its pages, or as one HTML file with a table of contents.
#include "book/BookExport.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "richtext/DocumentIo.h"
#include "richtext/PageSource.h"
#include "richtext/PdfLinks.h"
#include "util/Vb.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

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

bool writePdf(docdb::zSvr& svr, const Branch& b, const QString& file, const Progress& progress, QString& reason) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVector<richtext::pdflinks::Link> links;
    QVector<double> heights;
    QHash<qint32, int> firstSheet;
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("DB Text"));
        pdf.setTitle(b.title);
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
        outline.push_back({e.title, e.depth, firstSheet.value(e.no, -1)});
    QByteArray bytes = buffer.data();
    buffer.close();
    if (!richtext::pdflinks::appendBook(bytes, links, heights, outline)) {
        reason = QStringLiteral("PDF に目次とリンクを書き込めません");
        return false;
    }
    if (progress && !progress(int(b.pages.size()), int(b.pages.size()))) {
        reason = kCancelled;
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
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

QString anchorOf(qint32 no) {
    return QStringLiteral("p%1").arg(no);
}

bool writeHtml(docdb::zSvr& svr, const Branch& b, const QString& file, const Progress& progress, QString& reason) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    const QSet<qint32> inBook(b.pages.begin(), b.pages.end());
    auto put = [&out](const QString& text) { out.write(text.toUtf8()); };
    put(QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>") +
        b.title.toHtmlEscaped() +
        QStringLiteral("</title>\n<style>\nbody { max-width: 60em; margin: auto; padding: 1em; }\n"
                       "nav ul { list-style: none; padding-left: 1.2em; }\n"
                       "section.page { border-top: 1px solid #999; margin-top: 2em; }\n"
                       "h1.page-title { font-size: 1.4em; }\n</style>\n</head>\n<body>\n<h1>") +
        b.title.toHtmlEscaped() + QStringLiteral("</h1>\n<nav id=\"toc\">\n"));
    // The table of contents as nested lists, one level a depth.
    int level = -1;
    for (const Entry& e : b.entries) {
        while (level < e.depth) {
            put(QStringLiteral("<ul>\n"));
            ++level;
        }
        while (level > e.depth) {
            put(QStringLiteral("</ul>\n"));
            --level;
        }
        const QString title = e.title.toHtmlEscaped();
        put(inBook.contains(e.no) ? QStringLiteral("<li><a href=\"#%1\">%2</a></li>\n").arg(anchorOf(e.no), title)
                                  : QStringLiteral("<li>%1</li>\n").arg(title));
    }
    while (level-- >= 0)
        put(QStringLiteral("</ul>\n"));
    put(QStringLiteral("</nav>\n"));
    QHash<qint32, QString> titles;
    for (const Entry& e : b.entries)
        if (e.own)
            titles.insert(e.no, e.title);
    static const QRegularExpression pageLink(QStringLiteral("href\\s*=\\s*\"(TG_[^\"]*)\""),
                                             QRegularExpression::CaseInsensitiveOption);
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
        QString body = bodyOf(richtext::source::htmlForFile(src));
        // Page links to pages of the book lead to them here; the others stay as stored.
        QString linked;
        qsizetype at = 0;
        for (auto it = pageLink.globalMatch(body); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const std::optional<qint32> to = linkedPage(m.captured(1));
            if (!to || !inBook.contains(*to))
                continue;
            linked += QStringView(body).mid(at, m.capturedStart() - at);
            linked += QStringLiteral("href=\"#%1\"").arg(anchorOf(*to));
            at = m.capturedEnd();
        }
        linked += QStringView(body).mid(at);
        put(QStringLiteral("<section class=\"page\" id=\"%1\">\n<h1 class=\"page-title\">%2</h1>\n")
                .arg(anchorOf(no), titles.value(no).toHtmlEscaped()) +
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
