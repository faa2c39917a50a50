// The save dialog through Qt's own file dialog: the proposed name, the chosen type and its index.
#include "platform/FileDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(QtFileDialog, ADottedTitleKeepsItsNameAndTheChosenTypeIsReported) {
    QTemporaryDir tmp;
    const QString filter = QStringLiteral("ﾜｰﾄﾞ文書 97-2003(*.doc)|*.doc|ｱｸﾛﾊﾞｯﾄPDF(*.pdf)|*.pdf|");
    platform::QtFileDialog dialogs;
    QString proposed;
    QTimer::singleShot(300, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        proposed = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        d->selectNameFilter(d->nameFilters().value(1)); // the user picks PDF
        QTest::keyClick(d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")), Qt::Key_Return);
    });
    int chosen = -1;
    const QString name =
        dialogs.save(QStringLiteral("文書の保存"), filter, nullptr, tmp.filePath(QStringLiteral("0.1 版の記録.doc")), &chosen);
    EXPECT_EQ(proposed, QStringLiteral("0.1 版の記録.doc"));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(name, tmp.filePath(QStringLiteral("0.1 版の記録.pdf")));
}
