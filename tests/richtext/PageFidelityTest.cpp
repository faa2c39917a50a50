// Tests that copies and saved files keep the page: same pages, every link's data, no lost text,
// saves that can be cancelled, and pages that cannot stall the layout.
#include "ViewFixture.h"
#include "platform/TextCodec.h"
#include "richtext/OfficeConverter.h"
#include "richtext/PageSource.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QtGui/private/qzipreader_p.h>

namespace {

// A page in the shape man2html gives manual pages: headings followed by bold words and loose text,
// definition lists, preformatted examples, tables and links.
QByteArray manPage(int sections, const QString& head = QString()) {
    QString body =
        QStringLiteral("<H1>DBTEXT</H1>\nSection: 利用者コマンド (1)<BR><A HREF=\"#index\">Index</A>\n<HR>\n");
    for (int i = 1; i <= sections; ++i)
        body += QStringLiteral(
                    "<A NAME=\"lbA%1\">&nbsp;</A>\n<H2>書式 %1</H2>\n\n<B>dbtext</B> [-H] [-L] [-P] [-D debugopts] "
                    "[開始点...]\n[式]\n<DL COMPACT>\n<DT><B>-name</B> <I>パターン</I><DD>ファイル名の最後の部分が"
                    "パターンに一致する。\n</DL>\n<PRE>\n$ dbtext -printf '[%h][%f]\\n' 例 %1\n</PRE>\n"
                    "<TABLE BORDER><TR><TD>項目</TD><TD>説明 %1</TD></TR></TABLE>\n"
                    "<P>本文の段落です。<A HREF=\"TG_%1\">ページ %1</A> を見てください。\n")
                    .arg(i);
    return (QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<HTML><HEAD>") + head +
            QStringLiteral("<TITLE>Man page of DBTEXT</TITLE>\n</HEAD><BODY>\n") + body +
            QStringLiteral("</BODY></HTML>\n"))
        .toUtf8();
}

// Every page of the view as printed at actual size on a 96-per-inch surface.
QVector<QImage> pageImages(RichTextView& v) {
    QImage device(int(v.pageWidth() / 15), int(v.pageHeight() / 15), QImage::Format_RGB32);
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
    v.setPrintDevice(&device);
    v.setPrintZoom(100);
    QVector<QImage> images;
    for (int n = 1; n <= v.pageCount(); ++n) {
        device.fill(Qt::white);
        v.printPage(n);
        images << device.copy();
    }
    v.setPrintDevice(nullptr);
    return images;
}

// The link data strings the tests store, each one a way that links were changed before.
const QStringList kHrefs = {QStringLiteral("TG_25"),
                            QStringLiteral("TG_x_7"),
                            QStringLiteral("TP_ヒントの文"),
                            QStringLiteral("DX_3"),
                            QStringLiteral("C:\\docs\\a b.txt"),
                            QStringLiteral("https://example.org/x?a=1&b=2"),
                            QStringLiteral("#index"),
                            QStringLiteral("../index.html"),
                            QStringLiteral("a(1)")};

QString linksBody() {
    QString body = QStringLiteral("<p>リンクの一覧:</p><p>");
    for (int i = 0; i < kHrefs.size(); ++i)
        body += QStringLiteral("<a title=\"%2 > 0\" href=\"%1\">リンク<b>%2</b>番</a> ") // a ">" before the href
                    .arg(kHrefs[i].toHtmlEscaped())
                    .arg(i + 1);
    return body + QStringLiteral("</p>");
}

// Processes whose command line names the given text (LibreOffice started with our profile).
int processesNaming(const QString& text) {
    int count = 0;
    for (QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot); it.hasNext();) {
        QFile cmd(it.next() + QStringLiteral("/cmdline"));
        if (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains(text.toUtf8()))
            ++count;
    }
    return count;
}

} // namespace

TEST_F(View, CopyAndSavedHtmlShowTheVeryPagesOfTheOriginal) {
    // Shift-JIS bytes that declare their code, as older pages do.
    const QByteArray stored = platform::TextCodec::toAnsi(QString::fromUtf8(
        manPage(30, QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">"))));
    ASSERT_TRUE(view.loadFromMemory(stored, 9));
    const int pages = view.pageCount();
    ASSERT_GE(pages, 3);
    const QVector<QImage> original = pageImages(view);

    RichTextView copy;
    ASSERT_TRUE(copy.loadFromMemory(view.saveToMemory(3), 3));
    EXPECT_EQ(copy.pageCount(), pages);
    EXPECT_TRUE(pageImages(copy) == original);
    EXPECT_EQ(copy.fieldCount(), view.fieldCount());
    EXPECT_EQ(copy.saveToMemory(3), view.saveToMemory(3));

    const QString htm = tmp.filePath(QStringLiteral("page.htm"));
    ASSERT_TRUE(view.saveToFile(htm, 0, 4)) << view.reason().toStdString();
    const QByteArray file = testsupport::readBytes(htm);
    EXPECT_EQ(QString::fromUtf8(file).count(QStringLiteral("charset"), Qt::CaseInsensitive), 1); // UTF-8 only
    RichTextView back;
    ASSERT_TRUE(back.loadFromMemory(file, 9));
    EXPECT_EQ(back.pageCount(), pages);
    EXPECT_TRUE(pageImages(back) == original);

    // The PDF has the very same pages, with all their text.
    ASSERT_TRUE(view.loadFromMemory(manPage(150), 9));
    const QString pdf = tmp.filePath(QStringLiteral("page.pdf"));
    ASSERT_TRUE(view.saveToFile(pdf, 0, 12)) << view.reason().toStdString();
    EXPECT_TRUE(
        run(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("Pages:           %1\n").arg(view.pageCount())));
    const QString pdfText = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    EXPECT_EQ(pdfText.count(QStringLiteral("本文の段落です。")), 150);
    EXPECT_EQ(pdfText.count(QStringLiteral("[%h][%f]\\n")), 150);

    // A plain-text page comes back with every blank and line break.
    const QString plain = QStringLiteral("一行目\n\n  字下げ\tタブ\n最後");
    ASSERT_TRUE(view.loadFromMemory(plain.toUtf8(), 9));
    ASSERT_TRUE(copy.loadFromMemory(view.saveToMemory(3), 3));
    EXPECT_EQ(copy.text(), plain);
    EXPECT_FALSE(copy.loadFromMemory(QByteArray("DBTEXT-COPY 2\nwidth=1\nnovel\n"), 3)); // a damaged copy
}

TEST_F(View, PlainTextWithAngleBracketsStaysPlainText) {
    const QStringList texts = {
        QStringLiteral("<注意>\n手順 1 < 2 の場合は、<設定> 画面で\n  選びます。"),
        QStringLiteral("a < b and c > d\n<<終わり>>"), QStringLiteral("配列 a<i> と b<i> を比べる。\n次の行\n  字下げ"),
        QStringLiteral("#include <stdio.h>\nint main() { if (a<b && c>d) return 0; }\nstd::vector<p> v;"),
        QStringLiteral("<!-- これはコメントではない\n次の行")};
    for (const QString& t : texts) {
        ASSERT_TRUE(view.loadFromMemory(t.toUtf8(), 9));
        EXPECT_EQ(view.text(), t);
        ASSERT_TRUE(view.loadFromMemory(platform::TextCodec::toAnsi(t), 9));
        EXPECT_EQ(view.text(), t);
    }
    // Real HTML stays HTML, with or without a document frame.
    for (const char* html : {"<B>xz</B> [<I>option...</I>]", "<!DOCTYPE html><title>t</title>本文", "<p>段落</p>",
                             "一行目<br>二行目<br>", "<img src=\"a.png\">", "<body>本文"}) {
        richtext::PageSource src;
        ASSERT_TRUE(richtext::source::decode(QByteArray(html), 9, src));
        EXPECT_EQ(src.kind, richtext::PageSource::Kind::Html) << html;
    }
}

TEST_F(View, PdfKeepsThePageAsItLiesItsTextAndEveryLinkVerbatim) {
    const QString pre =
        QStringLiteral("find . -printf '[%h][%f]\\n' ") + QString(120, QLatin1Char('x')) + QStringLiteral("END");
    ASSERT_TRUE(
        view.loadFromMemory(page(linksBody() + QStringLiteral("<pre>") + pre.toHtmlEscaped() +
                                     QStringLiteral("</pre><table width=\"2400\" border=\"1\"><tr><td>左の列</td><td>"
                                                    "表の右端にある言葉</td></tr></table>"),
                                 QStringLiteral("<meta name=\"dbtext-page\" content=\"landscape=1\">")),
                            9));
    const QString pdf = tmp.filePath(QStringLiteral("links.pdf"));
    ASSERT_TRUE(view.saveToFile(pdf, 0, 12)) << view.reason().toStdString();
    EXPECT_TRUE(run(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("842 x 595 pts (A4)")));
    // No text is cut at the page's edge: the long line and the wide table wrap.
    QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    EXPECT_TRUE(text.contains(QString(pre).remove(QLatin1Char(' ')))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("表の右端にある言葉")));
    // One link per field (each field lies on one line here), its data string as stored.
    QStringList urls;
    for (const QString& line : run(QStringLiteral("pdfinfo"), {QStringLiteral("-url"), pdf}).split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("Annotation")))
            urls << line.section(QStringLiteral("Annotation"), 1).trimmed();
    EXPECT_EQ(urls, kHrefs);
}

namespace {

// Link targets as Word and RTF readers find them: .docx relationships and bookmark anchors, RTF and
// .doc HYPERLINK field instructions (RTF escapes, then Word's field quoting, undone).
QStringList docxTargets(const QString& file) {
    QZipReader zip(file);
    const QString rels = QString::fromUtf8(zip.fileData(QStringLiteral("word/_rels/document.xml.rels")));
    const QString doc = QString::fromUtf8(zip.fileData(QStringLiteral("word/document.xml")));
    QStringList out;
    static const QRegularExpression link(QStringLiteral("<w:hyperlink ([^>]*)>"));
    for (auto it = link.globalMatch(doc); it.hasNext();) {
        const QString attrs = it.next().captured(1);
        const QString anchor = QRegularExpression(QStringLiteral("w:anchor=\"([^\"]*)\"")).match(attrs).captured(1);
        const QString id = QRegularExpression(QStringLiteral("r:id=\"([^\"]*)\"")).match(attrs).captured(1);
        if (!anchor.isEmpty()) {
            out << QLatin1Char('#') + anchor;
            continue;
        }
        const auto rel = QRegularExpression(QStringLiteral("<Relationship [^>]*Id=\"%1\"[^>]*>").arg(id)).match(rels);
        QString target = QRegularExpression(QStringLiteral("Target=\"([^\"]*)\"")).match(rel.captured(0)).captured(1);
        QTextDocument unescape;
        unescape.setHtml(target.replace(QLatin1Char(' '), QStringLiteral("&#32;")));
        out << unescape.toPlainText();
    }
    return out;
}

QStringList fieldTargets(const QString& instructions) {
    QStringList out;
    static const QRegularExpression field(QStringLiteral("HYPERLINK\\s+(\\\\l\\s+)?\"((?:[^\"\\\\]|\\\\.)*)\""));
    for (auto it = field.globalMatch(instructions); it.hasNext();) {
        const auto m = it.next();
        QString t = m.captured(2);
        t.replace(QRegularExpression(QStringLiteral("\\\\(.)")), QStringLiteral("\\1"));
        out << (m.capturedLength(1) ? QLatin1Char('#') + t : t);
    }
    return out;
}

QString rtfText(const QByteArray& rtf) {
    QString out;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\' && i + 1 < rtf.size() && rtf[i + 1] == 'u' && i + 2 < rtf.size() &&
            (QChar(rtf[i + 2]).isDigit() || rtf[i + 2] == '-')) {
            qsizetype e = i + 2;
            while (e < rtf.size() && (QChar(rtf[e]).isDigit() || rtf[e] == '-'))
                ++e;
            out += QChar(char16_t(rtf.mid(i + 2, e - i - 2).toInt()));
            if (e < rtf.size() && rtf[e] == ' ')
                ++e;
            i = rtf.mid(e, 2) == "\\'" ? e + 3 : e; // skips the one fallback character
        } else if (rtf[i] == '\\' && i + 1 < rtf.size() && QByteArray("\\{}").contains(rtf[i + 1])) {
            out += QLatin1Char(rtf[++i]);
        } else {
            out += QLatin1Char(rtf[i]);
        }
    }
    return out;
}

} // namespace

TEST_F(View, OfficeFormatsKeepTheTextAndEveryLinkVerbatim) {
    ASSERT_FALSE(richtext::OfficeConverter::executable().isEmpty()) << "LibreOffice is installed by scripts/setup.sh";
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>ワード文書の本文</p>") + linksBody()), 9));
    const QString docx = tmp.filePath(QStringLiteral("a.docx"));
    ASSERT_TRUE(view.saveToFile(docx, 0, 13)) << view.reason().toStdString();
    EXPECT_EQ(docxTargets(docx), kHrefs);
    EXPECT_TRUE(QZipReader(docx).fileData(QStringLiteral("word/document.xml")).contains("ワード文書の本文"));

    const QString rtf = tmp.filePath(QStringLiteral("a.rtf"));
    ASSERT_TRUE(view.saveToFile(rtf, 0, 5)) << view.reason().toStdString();
    const QString rtfPlain = rtfText(testsupport::readBytes(rtf));
    EXPECT_TRUE(rtfPlain.contains(QStringLiteral("ワード文書の本文")));
    EXPECT_EQ(fieldTargets(rtfPlain), kHrefs);

    const QString doc = tmp.filePath(QStringLiteral("a.doc"));
    ASSERT_TRUE(view.saveToFile(doc, 0, 9)) << view.reason().toStdString();
    const QByteArray docBytes = testsupport::readBytes(doc);
    EXPECT_TRUE(docBytes.startsWith("\xD0\xCF\x11\xE0"));
    // The text stream lies at an even or an odd offset: read the bytes as UTF-16 both ways.
    const QByteArray odd = docBytes.mid(1);
    QString utf16 = QString::fromUtf16(reinterpret_cast<const char16_t*>(docBytes.constData()), docBytes.size() / 2) +
                    QString::fromUtf16(reinterpret_cast<const char16_t*>(odd.constData()), odd.size() / 2);
    for (QChar& c : utf16)
        if (c.isSurrogate()) // binary data; the text we look for has none
            c = QLatin1Char('?');
    EXPECT_EQ(fieldTargets(utf16), kHrefs);
    EXPECT_TRUE(utf16.contains(QStringLiteral("ワード文書の本文")));
    EXPECT_FALSE(QDir(tmp.filePath(QStringLiteral("work"))).entryList({QStringLiteral("save-*")}, QDir::Dirs).size());
}

TEST_F(View, OfficeTimeOutEndsEveryProcessOfTheConversion) {
    ASSERT_FALSE(richtext::OfficeConverter::executable().isEmpty());
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString target = tmp.filePath(QStringLiteral("slow.docx"));
    QString reason;
    QTemporaryDir folder;
    // A page whose conversion takes many times the time-out however warm the office program is,
    // stopped long after the office process has started.
    EXPECT_TRUE(richtext::OfficeConverter::convertHtml(QString::fromUtf8(manPage(6000)), folder.path(),
                                                       QStringLiteral("docx"), QStringLiteral("MS Word 2007 XML"), work,
                                                       reason, nullptr, 1500)
                    .isEmpty());
    EXPECT_TRUE(reason.contains(QStringLiteral("時間内")));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(processesNaming(work + QStringLiteral("/lo-profile")), 0);
    // The profile is free: the next save works.
    ASSERT_TRUE(view.loadFromMemory(manPage(2), 9));
    EXPECT_TRUE(view.saveToFile(target, 0, 13)) << view.reason().toStdString();
    EXPECT_TRUE(testsupport::readBytes(target).startsWith("PK"));
}

TEST_F(View, LongSavesKeepTheWindowGoingAndCancelLeavesNothing) {
    ASSERT_TRUE(view.loadFromMemory(manPage(300), 9)); // several seconds of conversion
    const QString target = tmp.filePath(QStringLiteral("cancel.doc"));
    int ticks = 0;
    QTimer painter; // stands for the window's own work while the save runs
    QObject::connect(&painter, &QTimer::timeout, [&] { ++ticks; });
    painter.start(50);
    QProgressDialog* shown = nullptr;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!shown && (shown = view.findChild<QProgressDialog*>(QStringLiteral("saveProgress")))) {
            EXPECT_TRUE(shown->isVisible());
            QTest::mouseClick(shown->findChild<QPushButton*>(), Qt::LeftButton); // "キャンセル"
        }
    });
    watcher.start(100);
    EXPECT_FALSE(view.saveToFile(target, 0, 9));
    EXPECT_TRUE(shown != nullptr);
    EXPECT_EQ(view.reason(), QStringLiteral("保存を中止しました"));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_GE(ticks, 5); // the event loop ran throughout
    EXPECT_EQ(processesNaming(tmp.filePath(QStringLiteral("work/lo-profile"))), 0);
}

TEST_F(View, LooseTextAfterABlockStartsALineOfItsOwn) {
    // As manual pages are stored: a heading, blank lines, then bold text in no paragraph.
    ASSERT_TRUE(view.loadFromMemory(
        page(QStringLiteral("<H2>書式</H2>\n\n<B>bash</B> [options] [file]\n<H2>説明</H2>\n\n"
                            "<B>Bash</B> は sh 互換の<I>コマンド言語</I>です。<p>段落</p>\n\n<img src=\"x\"> 絵"
                            "<div>d</div> 後 <table><tr><td><p>セル</p>\n\n<b>残り</b></td></tr></table>")),
        9));
    QStringList blocks;
    for (const QString& line : view.text().split(QRegularExpression(QStringLiteral("[\\n\\x{2029}]"))))
        if (!line.trimmed().isEmpty())
            blocks << line.trimmed();
    EXPECT_EQ(blocks,
              (QStringList{QStringLiteral("書式"), QStringLiteral("bash [options] [file]"), QStringLiteral("説明"),
                           QStringLiteral("Bash は sh 互換のコマンド言語です。"), QStringLiteral("段落"),
                           QString(QChar(QChar::ObjectReplacementCharacter)) + QStringLiteral(" 絵"),
                           QStringLiteral("d"), QStringLiteral("後"), QStringLiteral("セル"), QStringLiteral("残り")}));
    // A page without loose text is shown as it is stored.
    QHash<QString, QString> images;
    const QString tidy = QStringLiteral("<body><h2>A</h2>\n<p>b <b>c</b></p><ul><li>d</li></ul></body>");
    EXPECT_EQ(richtext::source::boundedHtml(tidy, images), tidy);
}

TEST_F(View, HostilePagesAreBoundedWithoutLosingText) {
    // Tables nested 200 deep: the layout would double its time with every level.
    QString nested;
    for (int i = 0; i < 200; ++i)
        nested += QStringLiteral("<table border=\"1\"><tr><td>層%1 ").arg(i);
    nested += QStringLiteral("いちばん内側");
    for (int i = 0; i < 200; ++i)
        nested += QStringLiteral("</td></tr></table>");
    ASSERT_TRUE(view.loadFromMemory(page(nested), 9));
    EXPECT_TRUE(view.text().contains(QStringLiteral("層0")));
    EXPECT_TRUE(view.text().contains(QStringLiteral("層199")));
    EXPECT_TRUE(view.text().contains(QStringLiteral("いちばん内側")));
    EXPECT_GE(view.pageCount(), 1);

    // Blocks of every kind nested thousands deep (a valid page, hostile all the same): the blocks
    // past the bound are left out, their text stays in order.
    QString blocks;
    for (int i = 0; i < 2000; ++i)
        blocks += QStringLiteral("<div><blockquote><ul><li>段%1 ").arg(i);
    for (int i = 0; i < 2000; ++i)
        blocks += QStringLiteral("</li></ul></blockquote></div>");
    QHash<QString, QString> images;
    const QString bounded = richtext::source::boundedHtml(QStringLiteral("<body>") + blocks, images);
    static const QRegularExpression nesting(QStringLiteral("<(/?)(div|blockquote|ul|li)[ >]"));
    int open = 0, deepest = 0;
    for (auto it = nesting.globalMatch(bounded); it.hasNext();) {
        open += it.next().captured(1).isEmpty() ? 1 : -1;
        deepest = std::max(deepest, open);
    }
    EXPECT_EQ(deepest, richtext::limits::kBlockDepth);
    EXPECT_EQ(open, 0);
    // Lists whose items nest (each item's list dropped past the bound keeps its item), headings and
    // inline elements nested thousands deep are bounded the same way.
    QString other;
    for (int i = 0; i < 3000; ++i)
        other += QStringLiteral("<ul><li><h1><pre><span><b>語%1 ").arg(i);
    const QString boundedOther = richtext::source::boundedHtml(QStringLiteral("<body>") + other, images);
    static const QRegularExpression anyOpen(QStringLiteral("<(ul|li|h1|pre|span|b)[ >]"));
    EXPECT_LE(boundedOther.count(anyOpen), richtext::limits::kBlockDepth);
    EXPECT_TRUE(boundedOther.contains(QStringLiteral("語2999 ")));
    ASSERT_TRUE(view.loadFromMemory(page(blocks), 9));
    const QString text = view.text();
    EXPECT_LT(text.indexOf(QStringLiteral("段0 ")), text.indexOf(QStringLiteral("段1000 ")));
    EXPECT_LT(text.indexOf(QStringLiteral("段1000 ")), text.indexOf(QStringLiteral("段1999 ")));

    // A table of 8,000 rows is shown in parts that go on as the same table, and a paragraph of a
    // million characters in pieces; nothing is lost.
    QString rows = QStringLiteral("<table border=\"1\" cellpadding=\"2\">");
    for (int i = 0; i < 8000; ++i)
        rows += QStringLiteral("<tr><td>%1</td><td>行データ</td><td>abc</td></tr>").arg(i);
    const QString huge = QStringLiteral("<p>") + QString(1000000, QChar(u'字')) + QStringLiteral("終わり</p>");
    for (const QString& body : {rows + QStringLiteral("</table>"), huge}) {
        richtext::PageSource src;
        ASSERT_TRUE(richtext::source::decode(page(body), 9, src));
        const QVector<richtext::PagePart> parts = richtext::source::partition(src);
        ASSERT_GE(parts.size(), 3);
        QString all;
        for (int i = 0; i < parts.size(); ++i) {
            RichTextView shown;
            ASSERT_TRUE(shown.loadFromMemory(richtext::source::copyBytes(richtext::source::part(src, parts, i)), 3));
            all += shown.text();
        }
        if (body == huge) {
            EXPECT_EQ(all.count(QChar(u'字')), 1000000);
        } else {
            EXPECT_TRUE(parts[1].reopen.startsWith(QStringLiteral("<table border=\"1\" cellpadding=\"2\">")));
            EXPECT_EQ(all.count(QStringLiteral("行データ")), 8000);
        }
    }

    // A picture far larger than the limit is shown scaled down at its own size, without warnings.
    QImage big(8000, 200, QImage::Format_RGB32);
    big.fill(Qt::darkBlue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    big.save(&buffer, "PNG");
    static int warnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                ++warnings;
        });
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>前</p><img src=\"data:image/png;base64,%1\"><p>後</p>")
                                             .arg(QString::fromLatin1(png.toBase64()))),
                                    9));
    view.setViewMode(0);
    view.grab();
    view.setViewMode(2);
    view.grab();
    pageImages(view);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 0);
    view.setViewMode(0);
    EXPECT_GT(view.horizontalScrollBar()->maximum() + view.viewport()->width(), 7900); // 8000 wide on the page
    EXPECT_TRUE(view.text().contains(QChar(QChar::ObjectReplacementCharacter)));
    EXPECT_TRUE(view.text().startsWith(QStringLiteral("前")) && view.text().endsWith(QStringLiteral("後")));
}

TEST_F(View, OverLongPagesShowInPartsThatTogetherHoldEveryBlock) {
    QString body;
    int paragraphs = 0;
    while (body.size() < 1000000)
        body +=
            QStringLiteral("<p>段落%1 文書データーベースの本文です。<b>太字</b>と<a href=\"TG_%1\">リンク</a>。</p>\n")
                .arg(++paragraphs);
    ASSERT_TRUE(view.loadFromMemory(page(body), 9));
    ASSERT_GE(view.partCount(), 2);
    auto* next = view.findChild<QToolButton*>(QStringLiteral("nextPart"));
    ASSERT_TRUE(next && next->isVisible());
    QString shown;
    for (int p = 0; p < view.partCount(); ++p) {
        EXPECT_EQ(view.currentPart(), p);
        shown += view.text() + QLatin1Char('\n');
        EXPECT_GT(view.fieldCount(), 0);
        QTest::mouseClick(next, Qt::LeftButton);
    }
    EXPECT_FALSE(next->isEnabled());
    // Find goes on into the other parts: from the last part back to the first, on to the last.
    EXPECT_GE(view.find(QStringLiteral("段落1 "), 0), 0);
    EXPECT_EQ(view.currentPart(), 0);
    EXPECT_GE(view.find(QStringLiteral("段落%1 ").arg(paragraphs), 0), 0);
    EXPECT_EQ(view.currentPart(), view.partCount() - 1);
    EXPECT_EQ(view.selectedText(), QStringLiteral("段落%1 ").arg(paragraphs));
    EXPECT_EQ(view.find(QStringLiteral("どこにもない言葉"), 0), -1);
    // The find bar's marks step on into the next part that holds a word, and round.
    view.setPart(0);
    const QString lastWord = QStringLiteral("段落%1 ").arg(paragraphs);
    EXPECT_EQ(view.setMarks({lastWord, QStringLiteral("段落1 ")}), 1);
    EXPECT_EQ(view.stepMark(true), 0);
    EXPECT_EQ(view.selectedText(), QStringLiteral("段落1 "));
    EXPECT_EQ(view.stepMark(true), 0);
    EXPECT_EQ(view.currentPart(), view.partCount() - 1);
    EXPECT_EQ(view.selectedText(), lastWord);
    EXPECT_EQ(view.stepMark(true), 0);
    EXPECT_EQ(view.currentPart(), 0);
    EXPECT_EQ(view.stepMark(false), 0);
    EXPECT_EQ(view.currentPart(), view.partCount() - 1);
    view.setMarks({});
    // Every paragraph is in exactly one part, in order.
    EXPECT_EQ(shown.count(QStringLiteral("文書データーベースの本文です。")), paragraphs);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("段落1 ")));
    EXPECT_TRUE(shown.contains(QStringLiteral("段落%1 ").arg(paragraphs)));
    // The copy and the text file hold the whole page, not the part shown.
    RichTextView copy;
    ASSERT_TRUE(copy.loadFromMemory(view.saveToMemory(3), 3));
    EXPECT_EQ(copy.partCount(), view.partCount());
    const QString txt = tmp.filePath(QStringLiteral("long.txt"));
    ASSERT_TRUE(view.saveToFile(txt, 0, 1)) << view.reason().toStdString();
    EXPECT_EQ(platform::TextCodec::fromAnsi(testsupport::readBytes(txt)).count(QStringLiteral("本文です。")),
              paragraphs);

    // Plain text is cut at line ends only; an ordinary page is shown whole, without the bar.
    QString plain;
    for (int i = 0; plain.size() < 1000000; ++i)
        plain += QStringLiteral("行%1 プレーンテキストの長いページ\n").arg(i);
    ASSERT_TRUE(view.loadFromMemory(plain.toUtf8(), 9));
    ASSERT_GE(view.partCount(), 2);
    QString joined;
    for (int p = 0; p < view.partCount(); ++p) {
        view.setPart(p);
        joined += view.text(); // each part ends with its last line's break
    }
    EXPECT_EQ(joined, plain);
    ASSERT_TRUE(view.loadFromMemory(longPage(100), 9));
    EXPECT_EQ(view.partCount(), 1);
    EXPECT_FALSE(next->isVisible());
}
