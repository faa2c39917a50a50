// ViewFixture: a shown document view in a temporary folder, and page builders for its tests.
#pragma once

#include "richtext/RichTextView.h"
#include "support/Fixtures.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using richtext::RichTextView;

namespace viewtest {

inline QByteArray page(const QString& body, const QString& head = QString()) {
    return (QStringLiteral("<html><head><meta charset=\"utf-8\">") + head + QStringLiteral("</head><body>") + body +
            QStringLiteral("</body></html>"))
        .toUtf8();
}

// A page of many paragraphs, so that it runs over several A4 pages.
inline QByteArray longPage(int paragraphs) {
    QString body = QStringLiteral("<p>最初の段落 FIRST</p>");
    for (int i = 0; i < paragraphs; ++i)
        body += QStringLiteral("<p>段落 %1: 文書データーベースの本文です。日本語の文章が続きます。</p>").arg(i);
    body += QStringLiteral("<p>最後の段落 LAST</p>");
    return page(body);
}

inline const QString kFieldPage =
    QStringLiteral("<p>前の文。</p><p>ここに <a href=\"TG_25\">二十五へ</a> と <a href=\"TP_ヒントです\">ヒント</a> と "
                   "<a href=\"TG_x_7\"><b>太字</b>の七</a> があります。</p>");

// Bounding box of the non-white pixels of an image.
inline QRect inkBox(const QImage& img) {
    int l = img.width(), t = img.height(), r = -1, b = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 160) {
                l = std::min(l, x);
                r = std::max(r, x);
                t = std::min(t, y);
                b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

inline QString run(const QString& program, const QStringList& args) {
    return testsupport::runProgram(program, args);
}

class View : public ::testing::Test {
protected:
    void SetUp() override {
        view.setObjectName(QStringLiteral("txDc"));
        view.resize(900, 700);
        view.setWorkFolder(tmp.filePath(QStringLiteral("work")));
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QPoint fieldPoint(int field) {
        // fieldPosition is in twips of the scrolled content; the viewport point is its pixel less the scroll.
        const QPoint tw = view.fieldPosition(field) - view.scrollPosition();
        const double t = view.twipsPerPixel();
        return QPoint(int(tw.x() / t) + 6, int(tw.y() / t) + 8);
    }
    QTemporaryDir tmp;
    RichTextView view;
};

} // namespace viewtest

using namespace viewtest;
