// Tests of printing from the page view: paper codes, the printer settings record and file, the
// print run (range, copies as jobs, zoom put back), cancelling and a printer that fails.
#include "pageview/Printing.h"
#include "MainWindowFixture.h"
#include "pageview/sbTvw.h"

#include <QDataStream>
#include <QTimer>

namespace {

using platform::DevMode;

TEST(Printing, PaperCodesFollowThePageWithinTwoPercent) {
    EXPECT_EQ(pageview::paperCode(11906, 16838, false), 9);
    EXPECT_EQ(pageview::paperCode(11700, 16600, false), 9);   // within 2 % on both sides
    EXPECT_EQ(pageview::paperCode(11700, 16500, false), 256); // long side 2.007 % short
    EXPECT_EQ(pageview::paperCode(11000, 16838, false), 256);
    EXPECT_EQ(pageview::paperCode(16838, 11906, true), 9); // landscape A4
    EXPECT_EQ(pageview::paperCode(16838, 11906, false), 256);
    EXPECT_EQ(pageview::paperCode(8300, 11900, false), 11);
    EXPECT_EQ(pageview::paperCode(10318, 14581, false), 13);
    EXPECT_EQ(pageview::paperCode(5669, 8391, false), 43);
    EXPECT_EQ(pageview::paperCode(12240, 15840, false), 1);
    EXPECT_EQ(pageview::tenthsMm(11906), 2100); // 210.0 mm
    EXPECT_EQ(pageview::tenthsMm(1e9), 32767);
}

TEST(Printing, SettingsRecordReadsFieldByFieldFromPackedBytes) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData(QByteArray("Label Writer").leftJustified(32, ' ').constData(), 32);
    out << quint16(0) << quint16(0) << quint16(146) << quint16(0) << quint32(0x1C1F);
    for (qint16 v : {2, 256, 2970, 2100, 80, 3, 7, 600, 2, 3, 600, 1, 1})
        out << v;
    out.writeRawData(QByteArray("A4").leftJustified(32, '\0').constData(), 32);
    out << quint16(11) << quint16(12);
    for (quint32 v = 1; v <= 10; ++v)
        out << v;
    ASSERT_EQ(bytes.size(), 146);

    const std::optional<DevMode> d = DevMode::fromBytes(bytes + QByteArray("trailing"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->device(), QStringLiteral("Label Writer"));
    EXPECT_EQ(d->size, 146);
    EXPECT_EQ(d->fields, 0x1C1Fu);
    EXPECT_EQ(d->orientation, 2);
    EXPECT_EQ(d->paperSize, 256);
    EXPECT_EQ(d->paperLength, 2970);
    EXPECT_EQ(d->paperWidth, 2100);
    EXPECT_EQ(d->scale, 80);
    EXPECT_EQ(d->copies, 3);
    EXPECT_EQ(d->defaultSource, 7);
    EXPECT_EQ(d->printQuality, 600);
    EXPECT_EQ(d->color, 2);
    EXPECT_EQ(d->duplex, 3);
    EXPECT_EQ(d->yResolution, 600);
    EXPECT_EQ(d->ttOption, 1);
    EXPECT_EQ(d->collate, 1);
    EXPECT_EQ(d->formName.left(3), QByteArray("A4\0", 3));
    EXPECT_EQ(d->displayWords[1], 12);
    EXPECT_EQ(d->displayDwords[9], 10u);
    EXPECT_EQ(d->toBytes(), bytes); // written back unchanged
    EXPECT_FALSE(DevMode::fromBytes(bytes.left(145)));

    // The device-names block: offsets after the four words, each name ended by a NUL.
    const QByteArray names =
        platform::DevNames{QStringLiteral("drv"), QStringLiteral("Office"), QStringLiteral("lpt")}.toBytes();
    ASSERT_EQ(names.size(), 264);
    EXPECT_EQ(names.left(8), QByteArray("\x08\x00\x0c\x00\x13\x00\x00\x00", 8));
    EXPECT_EQ(names.mid(8, 15), QByteArray("drv\0Office\0lpt\0", 15));
    EXPECT_EQ(platform::DevNames::fromBytes(names).device, QStringLiteral("Office"));
}

class PrintFromPageView : public testsupport::MainWindowTest {
protected:
    void openPages() {
        db = testsupport::writeDb(
            tmp.path(), QStringLiteral("pages.txdb"),
            testsupport::treeWithPage5(testsupport::paragraphs(300, QStringLiteral("印刷される段落"))));
        // The user data folder beside the program ("%app%"), where Page.prndt is looked for.
        util::processState().programFolder = tmp.path();
        testsupport::writeBytes(tmp.filePath(QStringLiteral("UserData.ini")), "%app%");
        makeWindow();
        ini.W_UserData(0);
        activate(db);
        userData = ini.userDataFolder();
        ASSERT_TRUE(userData.endsWith(QStringLiteral("usData/")));
    }
    /// Runs `inside` with the page view open (Ctrl+P at the main window), then closes it.
    void withPageView(const std::function<void(pageview::sbTvw*)>& inside) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        bool ran = false;
        QTimer::singleShot(0, window.get(), [&] {
            ran = true;
            inside(window->pageView());
            window->pageView()->mnFile(2)->trigger();
        });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
        EXPECT_TRUE(ran);
    }
    /// Page n of the view as the printer gets it: actual size on a blank printer page.
    QImage expectedPage(int n) {
        richtext::RichTextView* v = window->view();
        const int keep = v->printZoom();
        v->setPrintZoom(100);
        QImage page = printer.blankPage();
        QPainter p(&page);
        v->printPage(n, &p);
        p.end();
        v->setPrintZoom(keep);
        return page;
    }
    QString userData;
};

TEST_F(PrintFromPageView, RangeAndCopiesGiveOneJobACopyWithSettingsFromPagePrndt) {
    openPages();
    // Page.prndt names the second printer in other case, with a printer zoom of 80 %.
    DevMode file;
    file.setDevice(QStringLiteral("label writer"));
    file.scale = 80;
    file.paperSize = 1;
    file.orientation = 2;
    ASSERT_TRUE(testsupport::writeBytes(userData + QStringLiteral("Page.prndt"), file.toBytes()));
    printer.settings[QStringLiteral("paper")] = 1;
    printer.answer = [](QByteArray& devMode, QByteArray&, platform::PrintDlg& dlg) {
        DevMode d = *DevMode::fromBytes(devMode);
        d.copies = 2;
        devMode = d.toBytes();
        dlg.fromPage = 2;
        dlg.toPage = 3;
        return true;
    };
    withPageView([&](pageview::sbTvw* tvw) {
        const int count = tvw->pageCount();
        ASSERT_GE(count, 3);
        QPaintDevice* deviceBefore = window->view()->printDevice();
        tvw->mnFile(0)->trigger(); // 印刷
        // The dialog was offered every page, without printing to a file, on the file's settings
        // with paper and orientation following the page (A4 portrait).
        EXPECT_EQ(printer.dialogRecord.flags, 0x80000u);
        EXPECT_EQ(printer.dialogRecord.fromPage, 1);
        EXPECT_EQ(printer.dialogRecord.toPage, count);
        EXPECT_EQ(printer.dialogRecord.maxPage, count);
        const DevMode offered = *DevMode::fromBytes(printer.dialogDevMode);
        EXPECT_EQ(offered.device(), QStringLiteral("label writer"));
        EXPECT_EQ(offered.paperSize, 9);
        EXPECT_EQ(offered.orientation, 1);
        EXPECT_EQ(platform::DevNames::fromBytes(printer.dialogDevNames).device, QStringLiteral("Label Writer"));
        EXPECT_EQ(printer.device, QStringLiteral("Label Writer"));
        EXPECT_EQ(printer.settings.value(QStringLiteral("paper")), 9);
        EXPECT_EQ(printer.settings.value(QStringLiteral("zoom")), 80);
        // Two jobs of pages 2 and 3 with one new page between, drawn at actual size.
        EXPECT_EQ(printer.log, QStringList({"start", "new", "end", "start", "new", "end"}));
        EXPECT_EQ(printer.docNames, QStringList({QStringLiteral("pages.txdb 文書No:5 (1/2)"),
                                                 QStringLiteral("pages.txdb 文書No:5 (2/2)")}));
        ASSERT_EQ(printer.jobs.size(), 2);
        for (const auto& job : printer.jobs) {
            ASSERT_EQ(job.size(), 2);
            EXPECT_EQ(job[0], expectedPage(2));
            EXPECT_EQ(job[1], expectedPage(3));
        }
        EXPECT_NE(expectedPage(2), expectedPage(3));
        EXPECT_EQ(window->view()->printZoom(), tvw->fitZoom()); // the preview's zoom is back
        EXPECT_EQ(window->view()->printDevice(), deviceBefore); // not the job's device, gone with it
        EXPECT_TRUE(box.texts.isEmpty());

        // A printer that fails at the first new page: nothing sent, and the user is told.
        printer.log.clear();
        printer.jobs.clear();
        printer.failNewPageAt = 1;
        tvw->mnZoom(3)->trigger(); // at 150 %
        tvw->mnFile(0)->trigger();
        EXPECT_EQ(printer.log, QStringList({"start", "new", "abort"}));
        EXPECT_TRUE(printer.jobs.isEmpty());
        EXPECT_EQ(box.texts, QStringList{QStringLiteral("印刷できませんでした。\n紙詰まり")});
        EXPECT_EQ(window->view()->printZoom(), 150);

        // Cancelled: nothing printed, but paper and orientation still follow the page.
        printer.log.clear();
        printer.settings[QStringLiteral("paper")] = 1;
        printer.answer = [](QByteArray&, QByteArray&, platform::PrintDlg&) {
            return false;
        };
        tvw->mnFile(0)->trigger();
        EXPECT_TRUE(printer.log.isEmpty());
        EXPECT_EQ(printer.settings.value(QStringLiteral("paper")), 9);
    });
}

TEST_F(PrintFromPageView, SettingsComeFromTheFileInUseTheDefaultOrThePrinter) {
    openPages();
    pageview::Printing printing(printer);
    richtext::RichTextView& view = *window->view();
    printing.setPaperCode(view);
    EXPECT_EQ(printing.code(), 9);
    const QString def = userData + QStringLiteral("Page.prndt");
    const QString given = tmp.filePath(QStringLiteral("given.prndt"));
    printing.setSettingsFile(userData, given); // a given file that does not exist
    EXPECT_EQ(printing.settingsFile(), def);
    int copies = 0, first = 0, last = 0;
    auto deviceOffered = [&] {
        printing.printDialog(nullptr, view, copies, first, last);
        return DevMode::fromBytes(printer.dialogDevMode)->device();
    };

    // No file at all: the printer's settings, with a bit for each setting it could tell.
    printer.unreadable = QStringList{QStringLiteral("duplex")};
    printer.settings[QStringLiteral("bin")] = 7;
    EXPECT_EQ(deviceOffered(), QStringLiteral("Office"));
    EXPECT_EQ(printing.record().fields & (DevMode::kDuplex | DevMode::kDefaultSource | DevMode::kPaperSize),
              DevMode::kDefaultSource | DevMode::kPaperSize);
    EXPECT_EQ(printing.record().defaultSource, 7);

    // A given file in use; when it has gone by the time of printing, the default file.
    DevMode named;
    named.setDevice(QStringLiteral("Given"));
    ASSERT_TRUE(testsupport::writeBytes(given, named.toBytes()));
    printing.setSettingsFile(userData, given);
    EXPECT_EQ(printing.settingsFile(), given);
    EXPECT_EQ(deviceOffered(), QStringLiteral("Given"));
    named.setDevice(QStringLiteral("Default"));
    ASSERT_TRUE(testsupport::writeBytes(def, named.toBytes()));
    QFile::remove(given);
    EXPECT_EQ(deviceOffered(), QStringLiteral("Default"));

    // A file too short to be a record is no settings file: the printer's settings again.
    ASSERT_TRUE(testsupport::writeBytes(def, QByteArray(40, 'x')));
    EXPECT_EQ(deviceOffered(), QStringLiteral("Office"));
}

} // namespace
