// End to end: a page printed from the page view through the print dialog to a real CUPS queue. The
// test runs its own CUPS daemon (its own configuration folder and socket) with a cups-pdf queue, so
// the machine's own printers and queues are never touched, and reads the PDFs that come out.
#include "MainWindowFixture.h"
#include "pageview/sbTvw.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QTimer>

#include <functional>

#include <cups/cups.h>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("DBTEXT-PDF");
const QString kPdfOut = QStringLiteral("/var/spool/cups-pdf/ANONYMOUS"); // cups-pdf's folder for unknown users

QString run(const QString& program, const QStringList& args, bool asAdmin = false) {
    QProcess p;
    if (asAdmin) { // queue changes need the daemon's own user, not the printing one
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("CUPS_USER"));
        p.setProcessEnvironment(env);
    }
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

/// A CUPS daemon of the test's own, reached through CUPS_SERVER (the socket in its folder).
class PrivateCups {
public:
    /// Why this machine cannot run the daemon, or "".
    static QString missing() {
        if (geteuid() != 0)
            return QStringLiteral("the cups-pdf backend runs only under a root daemon");
        for (const char* need : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf",
                                 "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd"})
            if (!QFileInfo::exists(QString::fromLatin1(need)))
                return QStringLiteral("%1 is missing (scripts/setup.sh installs it)").arg(QLatin1String(need));
        return QString();
    }
    /// Starts the daemon with the queue; what went wrong, or "".
    QString start() {
        const QString d = m_dir.path();
        for (const char* sub : {"etc", "spool", "cache", "state", "tmp", "log"})
            QDir(d).mkpath(QString::fromLatin1(sub));
        // The filters run as the lp user and need to write their temporary files.
        QFile(d).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                QFileDevice::ExeOther);
        run(QStringLiteral("chown"), {QStringLiteral("root:lp"), d + QStringLiteral("/tmp")});
        run(QStringLiteral("chmod"), {QStringLiteral("1770"), d + QStringLiteral("/tmp")});
        m_socket = d + QStringLiteral("/cups.sock");
        testsupport::writeBytes(d + QStringLiteral("/etc/cupsd.conf"),
                                QStringLiteral("Listen %1\nBrowsing No\nWebInterface No\nErrorPolicy abort-job\n"
                                               "DirtyCleanInterval 0\n" // each job's attributes written at once
                                               "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n")
                                    .arg(m_socket)
                                    .toUtf8());
        QString files;
        for (const auto& [key, sub] : {std::pair{"ServerRoot", "etc"},
                                       {"RequestRoot", "spool"},
                                       {"CacheDir", "cache"},
                                       {"StateDir", "state"},
                                       {"TempDir", "tmp"},
                                       {"AccessLog", "log/access_log"},
                                       {"ErrorLog", "log/error_log"},
                                       {"PageLog", "log/page_log"}})
            files += QStringLiteral("%1 %2/%3\n").arg(QLatin1String(key), d, QLatin1String(sub));
        testsupport::writeBytes(d + QStringLiteral("/etc/cups-files.conf"),
                                (files + QStringLiteral("Sandboxing Relaxed\nSystemGroup root\n")).toUtf8());
        // The daemon ends with the test, even when the test does not get to end it.
        m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start(QStringLiteral("/usr/sbin/cupsd"),
                       {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/etc/cupsd.conf"),
                        QStringLiteral("-s"), d + QStringLiteral("/etc/cups-files.conf")});
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(m_socket) && t.elapsed() < 10000)
            QTest::qWait(50);
        if (!QFileInfo::exists(m_socket))
            return QStringLiteral("cupsd did not start: ") + QString::fromUtf8(m_daemon.readAll());
        // Every CUPS call of this process (Qt's printer list and jobs) goes to this daemon.
        qputenv("CUPS_SERVER", m_socket.toUtf8());
        cupsSetServer(m_socket.toUtf8().constData()); // the library keeps the server it first used
        const QString added = run(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-h"), m_socket, QStringLiteral("-p"), kQueue, QStringLiteral("-E"),
                                   QStringLiteral("-v"), QStringLiteral("cups-pdf:/"), QStringLiteral("-P"),
                                   QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd")});
        if (!run(QStringLiteral("lpstat"), {QStringLiteral("-h"), m_socket, QStringLiteral("-p")}).contains(kQueue))
            return QStringLiteral("the queue was not made: ") + added;
        // Jobs come from a user unknown to the system, whose PDFs cups-pdf puts in its own folder.
        qputenv("CUPS_USER", "dbtext-print-test");
        return QString();
    }
    /// Waits until `n` jobs have completed (or the time is up); their number.
    int completedJobs(int n) {
        QElapsedTimer t;
        t.start();
        int done = 0;
        do {
            QTest::qWait(200);
            const QString out = run(QStringLiteral("lpstat"), {QStringLiteral("-h"), m_socket, QStringLiteral("-W"),
                                                               QStringLiteral("completed"), QStringLiteral("-o")});
            done = int(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
        } while (done < n && t.elapsed() < 60000);
        return done;
    }
    /// Waits until the daemon has written the newest job's attributes, holding every one of the texts.
    bool jobHas(const QList<QByteArray>& texts) const {
        QElapsedTimer t;
        t.start();
        do {
            const QByteArray newest = newestJobAttributes();
            if (std::all_of(texts.begin(), texts.end(), [&](const QByteArray& x) { return newest.contains(x); }))
                return true;
            QTest::qWait(200);
        } while (t.elapsed() < 15000);
        return false;
    }
    /// The attributes the daemon keeps of its newest job (its control file), as bytes.
    QByteArray newestJobAttributes() const {
        const QDir spool(m_dir.filePath(QStringLiteral("spool")));
        const QStringList jobs = spool.entryList({QStringLiteral("c*")}, QDir::Files, QDir::Name);
        return jobs.isEmpty() ? QByteArray() : testsupport::readBytes(spool.filePath(jobs.last()));
    }
    QString log() const {
        return QString::fromUtf8(testsupport::readBytes(m_dir.filePath(QStringLiteral("log/error_log"))));
    }
    ~PrivateCups() {
        qunsetenv("CUPS_SERVER");
        qunsetenv("CUPS_USER");
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_socket;
};

class CupsPrint : public testsupport::MainWindowTest {
protected:
    static constexpr int kDpi = 48;
    /// Opens a page of `lines` numbered lines in the main window.
    void openLines(int lines) {
        db = testsupport::writeDb(
            tmp.path(), QStringLiteral("pages.txdb"),
            testsupport::treeWithPage5(testsupport::paragraphs(lines, QStringLiteral("Printed line"))));
        makeWindow();
        activate(db);
    }
    /// Opens the preview, prints through the dialog, set by `choose` and then answered as a user
    /// does (Enter on its focused button), and closes; the new PDFs that came out of the queue.
    QStringList printThrough(PrivateCups& cups, pageview::sbTvw& tvw, const QString& settingsFile, int jobs,
                             const std::function<void(QPrintDialog*)>& choose) {
        const QStringList before = QDir(kPdfOut).entryList(QDir::Files);
        const int done = cups.completedJobs(0);
        QTimer::singleShot(0, &tvw, [&] {
            QTimer::singleShot(500, [&] {
                auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
                ASSERT_TRUE(dialog);
                choose(dialog);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            });
            tvw.mnFile(0)->trigger();
            tvw.mnFile(2)->trigger();
        });
        tvw.cAct(window->view(), QString(), settingsFile);
        QStringList made;
        if (jobs == 0)
            return made;
        EXPECT_EQ(cups.completedJobs(done + jobs), done + jobs) << cups.log().right(3000).toStdString();
        QElapsedTimer t;
        t.start();
        do {
            QTest::qWait(200);
            made.clear();
            for (const QString& f : QDir(kPdfOut).entryList(QDir::Files))
                if (!before.contains(f))
                    made << kPdfOut + QLatin1Char('/') + f;
        } while (made.size() < jobs && t.elapsed() < 20000);
        return made;
    }
    /// Page n of the view at actual size on a white sheet (A4 unless given), grey, at kDpi.
    QImage viewPage(int n, int wTw = 11906, int hTw = 16838) {
        QImage page(wTw * kDpi / 1440, hTw * kDpi / 1440, QImage::Format_RGB32);
        page.setDotsPerMeterX(int(kDpi / 0.0254));
        page.setDotsPerMeterY(int(kDpi / 0.0254));
        page.fill(Qt::white);
        const int keep = window->view()->printZoom();
        window->view()->setPrintZoom(100);
        QPainter p(&page);
        window->view()->printPage(n, &p);
        p.end();
        window->view()->setPrintZoom(keep);
        return page.convertToFormat(QImage::Format_Grayscale8);
    }
    /// Page n of a PDF, grey, at kDpi.
    QImage pdfPage(const QString& pdf, int n) {
        const QString out = tmp.filePath(QStringLiteral("printed"));
        run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-gray"),
                                         QStringLiteral("-png"), QStringLiteral("-singlefile"), QStringLiteral("-f"),
                                         QString::number(n), QStringLiteral("-l"), QString::number(n), pdf, out});
        return QImage(out + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
    }
    /// How far the inked places of two grey pictures coincide, at a quarter of their size (so that
    /// two rasterisations of the same glyphs agree): 0 (apart) to 1 (the same).
    static double overlap(const QImage& a, const QImage& b) {
        if (a.isNull() || b.isNull())
            return 0;
        const QSize small = a.size() / 4;
        const QImage x = a.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage y = b.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int both = 0, either = 0;
        for (int r = 0; r < small.height(); ++r)
            for (int c = 0; c < small.width(); ++c) {
                const bool inkX = x.constScanLine(r)[c] < 240, inkY = y.constScanLine(r)[c] < 240;
                both += inkX && inkY;
                either += inkX || inkY;
            }
        return either ? double(both) / either : 0;
    }
};

TEST_F(CupsPrint, PageViewPrintsThroughARealQueueAndTellsWhatDidNotPrint) {
    if (const QString why = PrivateCups::missing(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    PrivateCups cups;
    const QString failed = cups.start();
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    openLines(50);
    ASSERT_EQ(window->view()->pageCount(), 2);

    // The settings file names the queue in other case and asks for two copies.
    const QString settingsFile = tmp.filePath(QStringLiteral("queue.prndt"));
    platform::DevMode settings;
    settings.setDevice(kQueue.toLower());
    settings.copies = 2;
    testsupport::writeBytes(settingsFile, settings.toBytes());

    const std::unique_ptr<platform::IPrinter> real = platform::systemPrinter();
    pageview::sbTvw tvw(screen, *real, box, window.get());
    QString offered;
    auto print = [&](int jobs) {
        return printThrough(cups, tvw, settingsFile, jobs, [&](QPrintDialog* dialog) {
            offered = dialog->printer()->printerName();
            if (const QString shots = qEnvironmentVariable("DBTEXT_SHOTS"); !shots.isEmpty())
                dialog->grab().save(shots + QStringLiteral("/print-dialog.png"));
        });
    };

    // Two jobs, each a PDF of both pages. The queue's PostScript step drops the text's character
    // codes, so the pages are compared as pictures: each looks like its own page of the view.
    const QStringList made = print(2);
    EXPECT_EQ(offered, kQueue);
    EXPECT_TRUE(box.texts.isEmpty()) << box.texts.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(made.size(), 2);
    const QImage expected[2] = {viewPage(1), viewPage(2)};
    for (const QString& pdf : made) {
        EXPECT_TRUE(
            run(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))));
        for (int n = 0; n < 2; ++n) {
            const QImage printed = pdfPage(pdf, n + 1);
            const double same = overlap(printed, expected[n]), other = overlap(printed, expected[1 - n]);
            EXPECT_GT(same, 0.8) << n;
            EXPECT_GT(same, other + 0.3) << n;
        }
        QFile::remove(pdf);
    }

    // A landscape page of its own size comes out whole on that paper, turned as printers turn it.
    settings.copies = 1;
    testsupport::writeBytes(settingsFile, settings.toBytes());
    window->view()->loadFromMemory(
        QByteArray("<html><head><meta name=\"dbtext-page\" content=\"width=20000 height=12000 landscape=1\"></head>"
                   "<body>") +
            testsupport::paragraphs(12, QStringLiteral("Wide line")).toUtf8() + "</body></html>",
        9);
    ASSERT_EQ(window->view()->pageCount(), 1);
    const QStringList wide = print(1);
    ASSERT_EQ(wide.size(), 1);
    EXPECT_TRUE(run(QStringLiteral("pdfinfo"), {wide[0]})
                    .contains(QRegularExpression(QStringLiteral("Page size:\\s+(599|600)(\\.\\d+)? x (999|1000)"))))
        << run(QStringLiteral("pdfinfo"), {wide[0]}).toStdString();
    const QImage sheet = pdfPage(wide[0], 1), flat = viewPage(1, 20000, 12000);
    EXPECT_GT(std::max(overlap(sheet, flat.transformed(QTransform().rotate(90))),
                       overlap(sheet, flat.transformed(QTransform().rotate(-90)))),
              0.8);
    QFile::remove(wide[0]);

    // A run stopped on its way sends nothing.
    const int before = cups.completedJobs(0);
    ASSERT_TRUE(real->select(kQueue));
    ASSERT_TRUE(real->startOutput());
    ASSERT_TRUE(real->newPage());
    real->abortDoc();
    QTest::qWait(1500);
    EXPECT_EQ(cups.completedJobs(0), before);
    EXPECT_TRUE(run(QStringLiteral("lpstat"), {QStringLiteral("-o")}).trimmed().isEmpty());

    // A queue that refuses jobs: the user is told, and nothing looks printed.
    run(QStringLiteral("cupsreject"), {kQueue}, true);
    print(0);
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts[0].startsWith(
        QStringLiteral("印刷できませんでした。\nプリンタ「DBTEXT-PDF」が印刷を受け付けませんでした")))
        << box.texts[0].toStdString();
}

TEST_F(CupsPrint, TheDialogsPageListPageSetOrderAndColourReachTheJob) {
    if (const QString why = PrivateCups::missing(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    PrivateCups cups;
    const QString failed = cups.start();
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    openLines(200);
    ASSERT_GE(window->view()->pageCount(), 6);
    // The settings file asks for monochrome.
    const QString settingsFile = tmp.filePath(QStringLiteral("queue.prndt"));
    platform::DevMode settings;
    settings.setDevice(kQueue);
    settings.copies = 1;
    settings.color = 1;
    settings.fields |= platform::DevMode::kColor;
    testsupport::writeBytes(settingsFile, settings.toBytes());
    const std::unique_ptr<platform::IPrinter> real = platform::systemPrinter();
    pageview::sbTvw tvw(screen, *real, box, window.get());
    // Prints once with the dialog's widgets set as a user sets them; the PDF that came out.
    auto print = [&](const std::function<void(QPrintDialog*)>& choose) {
        bool monochromeOffered = false;
        const QStringList made = printThrough(cups, tvw, settingsFile, 1, [&](QPrintDialog* dialog) {
            auto* gray = dialog->findChild<QRadioButton*>(QStringLiteral("grayscale"));
            monochromeOffered = gray && gray->isChecked();
            choose(dialog);
        });
        EXPECT_TRUE(monochromeOffered); // the dialog keeps the colour the settings ask for
        return made.value(0);
    };
    auto pages = [&](const QString& pdf) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {pdf}));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };

    // "2,5" in reverse order: pages 5 and 2, nothing between them.
    const QString listed = print([](QPrintDialog* d) {
        d->findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"))->setChecked(true);
        d->findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"))->setText(QStringLiteral("2,5"));
        d->findChild<QCheckBox*>(QStringLiteral("reverse"))->setChecked(true);
    });
    ASSERT_FALSE(listed.isEmpty());
    EXPECT_EQ(pages(listed), 2);
    QFile::remove(listed); // the queue names its files after the job's title
    EXPECT_TRUE(cups.jobHas({"outputorder", "reverse", "page-ranges", "print-color-mode", "monochrome"}));

    // Odd pages only: 1, 3, 5 of six.
    const QString odd = print([](QPrintDialog* d) {
        auto* set = d->findChild<QComboBox*>(QStringLiteral("pageSetCombo"));
        set->setCurrentIndex(1);
        ASSERT_TRUE(set->currentText().contains(QStringLiteral("奇数")) || set->currentText().contains(QStringLiteral("Odd")))
            << set->currentText().toStdString();
    });
    ASSERT_FALSE(odd.isEmpty());
    EXPECT_EQ(pages(odd), (window->view()->pageCount() + 1) / 2);
    QFile::remove(odd);
    EXPECT_TRUE(cups.jobHas({"page-set", "odd"}));
}

} // namespace
