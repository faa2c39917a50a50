// Tests of the document view: loading, zoom, view modes, pagination, fields, find, keys, formats.
#include "richtext/RichTextView.h"
#include "ViewFixture.h"
#include "platform/TextCodec.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "richtext/OfficeConverter.h"

#include <gtest/gtest.h>

using richtext::RichTextView;

TEST_F(View, LoadsStoredPagesByContent) {
    const QByteArray html = page(QStringLiteral("<p>見出し <b>太字</b></p>"));
    const QByteArray copy = html;
    ASSERT_TRUE(view.loadFromMemory(html, 9));
    EXPECT_EQ(view.text(), QStringLiteral("見出し 太字"));
    EXPECT_EQ(html, copy); // the bytes are not changed

    ASSERT_TRUE(view.loadFromMemory(QStringLiteral("平文のページ\n二行目").toUtf8(), 9));
    EXPECT_EQ(view.text(), QStringLiteral("平文のページ\n二行目"));
    ASSERT_TRUE(view.loadFromMemory(platform::TextCodec::toAnsi(QStringLiteral("シフトJISの平文 ～①")), 9));
    EXPECT_EQ(view.text(), QStringLiteral("シフトJISの平文 ～①"));
    ASSERT_TRUE(view.loadFromMemory(platform::TextCodec::toAnsi(QStringLiteral("<p>ＳＪＩＳのHTML</p>")), 9));
    EXPECT_EQ(view.text(), QStringLiteral("ＳＪＩＳのHTML"));

    ASSERT_TRUE(view.loadFromMemory(QByteArray(), 9));
    EXPECT_EQ(view.text(), QString());
    EXPECT_EQ(view.fieldCount(), 0);
    EXPECT_FALSE(view.loadFromMemory(html, 7));
    EXPECT_FALSE(view.loadFromMemory(QByteArray("not a copy"), 3));
}

TEST_F(View, PageSizeFollowsTheConvention) {
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>x</p>")), 9));
    EXPECT_EQ(view.pageWidth(), 11906);
    EXPECT_EQ(view.pageHeight(), 16838);
    EXPECT_FALSE(view.landscape());
    ASSERT_TRUE(view.loadFromMemory(
        page(QStringLiteral("<p>x</p>"), QStringLiteral("<meta name=\"dbtext-page\" content=\"landscape=1\">")), 9));
    EXPECT_EQ(view.pageWidth(), 16838);
    EXPECT_EQ(view.pageHeight(), 11906);
    EXPECT_TRUE(view.landscape());
    ASSERT_TRUE(view.loadFromMemory(
        page(QStringLiteral("<p>x</p>"),
             QStringLiteral("<meta name=\"dbtext-page\" content=\"width=12240 height=15840 margin=720\">")),
        9));
    EXPECT_EQ(view.pageWidth(), 12240); // US Letter
    EXPECT_EQ(view.pageSetup().marginTw, 720);
}

TEST_F(View, ZoomScalesThePainting) {
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>拡大と縮小 ZOOM ZOOM ZOOM</p>")), 9));
    const QRect at100 = inkBox(view.viewport()->grab().toImage());
    view.resize(400, 700); // narrower than the text area, so that the scroll range shows the width
    QApplication::processEvents();
    const int range100 = view.horizontalScrollBar()->maximum() + view.viewport()->width();
    view.setZoom(200);
    QApplication::processEvents();
    EXPECT_NEAR(view.horizontalScrollBar()->maximum() + view.viewport()->width(), range100 * 2, 2);
    view.resize(900, 700);
    QApplication::processEvents();
    const QRect at200 = inkBox(view.viewport()->grab().toImage());
    ASSERT_FALSE(at100.isNull());
    ASSERT_FALSE(at200.isNull());
    EXPECT_NEAR(double(at200.width()) / at100.width(), 2.0, 0.15);
    EXPECT_NEAR(double(at200.height()) / at100.height(), 2.0, 0.3);
    EXPECT_EQ(view.zoom(), 200);
}

TEST_F(View, ViewModesLayOutAsNamed) {
    QString body;
    for (int i = 0; i < 30; ++i)
        body += QStringLiteral("<p>%1</p>").arg(QString(60, QChar(u'字')));
    ASSERT_TRUE(view.loadFromMemory(page(body), 9));
    // 0 normal: as wide as the page's text area (plus a small margin), whatever the window.
    view.setViewMode(0);
    view.resize(300, 700);
    QApplication::processEvents();
    const int normalWidth = view.horizontalScrollBar()->maximum() + view.viewport()->width();
    EXPECT_NEAR(normalWidth, (view.pageWidth() - 2 * view.pageSetup().marginTw) / 15 + 24, 2);
    view.resize(500, 700);
    QApplication::processEvents();
    EXPECT_EQ(view.horizontalScrollBar()->maximum() + view.viewport()->width(), normalWidth);
    // 3 floating: wraps to the window, no horizontal scrolling, taller when narrower.
    view.setViewMode(3);
    QApplication::processEvents();
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    const int narrowHeight = view.verticalScrollBar()->maximum();
    view.resize(1200, 700);
    QApplication::processEvents();
    EXPECT_LT(view.verticalScrollBar()->maximum(), narrowHeight);
    // 2 centred: grey desk on both sides of the page, equal margins.
    view.setViewMode(2);
    QApplication::processEvents();
    QImage img = view.viewport()->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(2, 300)), QColor(0x80, 0x80, 0x80));
    int left = 0;
    while (left < img.width() && QColor(img.pixel(left, 300)) != QColor(Qt::white))
        ++left;
    int right = img.width() - 1;
    while (right > 0 && QColor(img.pixel(right, 300)) != QColor(Qt::white))
        --right;
    EXPECT_NEAR(left, img.width() - 1 - right - 4, 6); // the shadow adds a few pixels on the right
    // 1 pages with border lines: white around the page, a grey border line where the page begins.
    view.setViewMode(1);
    QApplication::processEvents();
    img = view.viewport()->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(2, 300)), QColor(Qt::white));
    int darkest = 255;
    for (int x = 14; x <= 17; ++x)
        darkest = std::min(darkest, qGray(img.pixel(x, 300)));
    EXPECT_LT(darkest, 200);
    EXPECT_EQ(view.viewMode(), 1);
}

TEST_F(View, PaginationAgreesAcrossCountImagesAndPdf) {
    ASSERT_TRUE(view.loadFromMemory(longPage(120), 9));
    const int pages = view.pageCount();
    ASSERT_GE(pages, 3);
    QImage device(800, 1130, QImage::Format_RGB32);
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
    view.setPrintDevice(&device);
    view.setPrintZoom(100);
    for (int n = 1; n <= pages; ++n) {
        device.fill(Qt::white);
        ASSERT_TRUE(view.printPage(n));
        EXPECT_FALSE(inkBox(device).isNull()) << "page " << n;
    }
    EXPECT_FALSE(view.printPage(pages + 1));
    EXPECT_FALSE(view.printPage(0));
    // Print zoom 50 draws the same page in half the size.
    device.fill(Qt::white);
    view.printPage(1);
    const QRect full = inkBox(device);
    device.fill(Qt::white);
    view.setPrintZoom(50);
    view.printPage(1);
    EXPECT_NEAR(double(inkBox(device).right()) / full.right(), 0.5, 0.05);

    const QString pdf = tmp.filePath(QStringLiteral("p.pdf"));
    ASSERT_TRUE(view.saveToFile(pdf, 0, 12)) << view.reason().toStdString();
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages)))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();
    const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("最初の段落 FIRST")));
    EXPECT_TRUE(text.contains(QStringLiteral("最後の段落 LAST")));
    const QString fonts = run(QStringLiteral("pdffonts"), {pdf});
    EXPECT_TRUE(fonts.contains(QStringLiteral("yes"))); // embedded
    // The paged view shows the same number of pages.
    view.setViewMode(1);
    QApplication::processEvents();
    const double stride = view.pageHeight() / view.twipsPerPixel() + 16;
    EXPECT_NEAR((view.verticalScrollBar()->maximum() + view.viewport()->height() - 16) / stride, pages, 0.01);
}

TEST_F(View, FieldsReportDataTextAndPosition) {
    ASSERT_TRUE(view.loadFromMemory(page(kFieldPage), 9));
    ASSERT_EQ(view.fieldCount(), 3);
    EXPECT_EQ(view.fieldType(1), 2);
    EXPECT_EQ(view.fieldType(4), 0);
    EXPECT_EQ(view.fieldData(1), QStringLiteral("TG_25"));
    EXPECT_EQ(view.fieldText(1), QStringLiteral("二十五へ"));
    EXPECT_EQ(view.fieldData(2), QStringLiteral("TP_ヒントです"));
    EXPECT_EQ(view.fieldData(3), QStringLiteral("TG_x_7"));
    EXPECT_EQ(view.fieldText(3), QStringLiteral("太字の七")); // one field across a format change
    const QPoint p1 = view.fieldPosition(1);
    const QPoint p2 = view.fieldPosition(2);
    EXPECT_EQ(p1.y(), p2.y()); // same line
    EXPECT_LT(p1.x(), p2.x());
    EXPECT_GT(p1.y(), 200); // the second paragraph, below the first
    view.setCurrentField(2);
    EXPECT_EQ(view.currentField(), 2);
    view.setCurrentField(9);
    EXPECT_EQ(view.currentField(), 0);
    // Positions follow the zoom, in twips of the scrolled content.
    view.setZoom(200);
    EXPECT_NEAR(view.fieldPosition(1).x(), 2 * p1.x(), 30);
}

TEST_F(View, ClicksAndHoverRaiseTheFieldNotifications) {
    ASSERT_TRUE(view.loadFromMemory(page(kFieldPage), 9));
    QSignalSpy clicked(&view, &RichTextView::fieldClicked);
    QSignalSpy entered(&view, &RichTextView::fieldEntered);
    QSignalSpy moved(&view, &RichTextView::mouseMoved);
    QTest::mouseMove(view.viewport(), QPoint(5, 5));
    QTest::mouseMove(view.viewport(), fieldPoint(2));
    ASSERT_GE(moved.count(), 1);
    ASSERT_EQ(entered.count(), 1);
    EXPECT_EQ(entered.at(0).at(0).toInt(), 2);
    QTest::mouseMove(view.viewport(), fieldPoint(2) + QPoint(2, 0)); // still inside: no new entry
    EXPECT_EQ(entered.count(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, fieldPoint(1));
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, 5)); // not on a field
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(view.fieldAt(QPoint(5, 5)), 0);
    // In a paged mode the fields are found at their new places too.
    view.setViewMode(2);
    QApplication::processEvents();
    EXPECT_EQ(view.fieldAt(fieldPoint(3)), 3);
}

TEST_F(View, FindSelectsAndScrollsToTheMatch) {
    ASSERT_TRUE(view.loadFromMemory(longPage(200), 9));
    const QString all = view.text();
    const int at = view.find(QStringLiteral("last"), 0, 16);
    EXPECT_EQ(at, all.indexOf(QStringLiteral("LAST")));
    EXPECT_EQ(view.selectedText(), QStringLiteral("LAST"));
    EXPECT_GT(view.verticalScrollBar()->value(), 0);
    EXPECT_EQ(view.find(QStringLiteral("段落 1:"), 0), all.indexOf(QStringLiteral("段落 1:")));
    EXPECT_EQ(view.find(QStringLiteral("段落"), at), -1); // nothing at or after the start
    EXPECT_EQ(view.find(QStringLiteral("見つからない"), 0), -1);
}

TEST_F(View, KeysAreReportedFirstAndCanBeCancelled) {
    ASSERT_TRUE(view.loadFromMemory(longPage(200), 9));
    QSignalSpy moved(&view, &RichTextView::viewMoved);
    int cancel = 1;
    QObject::connect(&view, &RichTextView::keyDown, [&](int& key, Qt::KeyboardModifiers) {
        if (cancel)
            key = 0;
    });
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    cancel = 0;
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_GT(view.verticalScrollBar()->value(), 0);
    EXPECT_GE(moved.count(), 1);
    const int v = view.verticalScrollBar()->value();
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_GT(view.verticalScrollBar()->value(), v);
    QTest::keyClick(&view, Qt::Key_PageUp);
    QTest::keyClick(&view, Qt::Key_PageUp);
    QTest::keyClick(&view, Qt::Key_PageUp);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST_F(View, ReadOnlyButSelectableAndCopyable) {
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>コピーできる文</p>")), 9));
    QTest::keyClicks(&view, "abc");
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(view.text(), QStringLiteral("コピーできる文"));
    view.find(QStringLiteral("できる"), 0);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("できる"));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.selectedText(), QStringLiteral("コピーできる文"));
}

TEST_F(View, SetTextEmptiesThePage) {
    ASSERT_TRUE(view.loadFromMemory(page(kFieldPage), 9));
    view.setText(QString());
    EXPECT_EQ(view.text(), QString());
    EXPECT_EQ(view.fieldCount(), 0);
    EXPECT_EQ(view.pageCount(), 1);
}

TEST_F(View, TextAndHtmlFiles) {
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>一行目 ～</p><p>二行目</p>") + kFieldPage), 9));
    const QString txt = tmp.filePath(QStringLiteral("a.txt"));
    ASSERT_TRUE(view.saveToFile(txt, 0, 1));
    const QByteArray bytes = testsupport::readBytes(txt);
    EXPECT_TRUE(bytes.startsWith(platform::TextCodec::toAnsi(QStringLiteral("一行目 ～\r\n二行目\r\n"))));
    EXPECT_TRUE(view.notice().isEmpty());
    // Characters Shift-JIS lacks are told, with their number; the rest is written.
    ASSERT_TRUE(view.loadFromMemory(QStringLiteral("〜 café 😀 한").toUtf8(), 9));
    ASSERT_TRUE(view.saveToFile(txt, 0, 1));
    EXPECT_EQ(testsupport::readBytes(txt), QByteArray("\x81\x60 caf? ? ?"));
    EXPECT_TRUE(view.notice().startsWith(QStringLiteral("3 文字は"))) << view.notice().toStdString();
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>一行目 ～</p><p>二行目</p>") + kFieldPage), 9));
    const QString htm = tmp.filePath(QStringLiteral("a.htm"));
    ASSERT_TRUE(view.saveToFile(htm, 0, 4));
    const QString html = QString::fromUtf8(testsupport::readBytes(htm));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"TG_25\"")));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"TP_ヒントです\"")));
    RichTextView back;
    ASSERT_TRUE(back.loadFromMemory(testsupport::readBytes(htm), 9));
    EXPECT_EQ(back.fieldCount(), 3);

    // A file that cannot be written is reported, and nothing is left behind.
    EXPECT_FALSE(view.saveToFile(tmp.filePath(QStringLiteral("no/folder/a.txt")), 0, 1));
    EXPECT_FALSE(view.reason().isEmpty());
    EXPECT_FALSE(view.saveToFile(tmp.filePath(QStringLiteral("a.xyz")), 0, 77));
}

TEST_F(View, MissingLibreOfficeIsAReasonNotACrash) {
    ASSERT_TRUE(view.loadFromMemory(page(QStringLiteral("<p>x</p>")), 9));
    const QString target = tmp.filePath(QStringLiteral("keep.docx"));
    testsupport::writeBytes(target, "old content");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    const bool ok = view.saveToFile(target, 0, 13);
    qputenv("PATH", path);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(view.reason().contains(QStringLiteral("LibreOffice")));
    EXPECT_EQ(testsupport::readBytes(target), QByteArray("old content"));
}

TEST_F(View, Screenshots) {
    const QString dir = qEnvironmentVariable("DBTEXT_SHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set DBTEXT_SHOTS to a folder to write the screenshots";
    QString sample = QString::fromUtf8(testsupport::readBytes(qEnvironmentVariable("DBTEXT_SOURCE_DIR") +
                                                              QStringLiteral("/samples/source/pages/27.html")));
    ASSERT_TRUE(view.loadFromMemory(sample.toUtf8(), 9));
    for (int mode = 0; mode < 4; ++mode)
        for (int zoom : {100, 200}) {
            view.setViewMode(mode);
            view.setZoom(zoom);
            QApplication::processEvents();
            EXPECT_TRUE(view.grab().save(QStringLiteral("%1/view-mode%2-%3.png").arg(dir).arg(mode).arg(zoom)));
        }
}
