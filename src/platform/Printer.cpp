// Printer: the settings record codec and the system printer on Qt's printer and print dialog.
#include "platform/Printer.h"

#include "platform/TextCodec.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QAbstractButton>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#ifdef DBTEXT_HAVE_CUPS
#include <cups/cups.h>
#endif

namespace platform {

namespace {

// Little-endian reads and writes over a byte buffer, in the order the fields are laid out.
class Reader {
public:
    explicit Reader(const QByteArray& b) : m_b(b) {}
    template <typename T> T take() {
        const T v = qFromLittleEndian<T>(m_b.constData() + m_at);
        m_at += int(sizeof(T));
        return v;
    }
    QByteArray bytes(int n) {
        const QByteArray v = m_b.mid(m_at, n);
        m_at += n;
        return v;
    }

private:
    const QByteArray& m_b;
    int m_at = 0;
};

class Writer {
public:
    template <typename T> void put(T v) {
        char b[sizeof(T)];
        qToLittleEndian<T>(v, b);
        m_b.append(b, sizeof(T));
    }
    void bytes(const QByteArray& v, int n, char pad) { m_b.append(v.left(n).leftJustified(n, pad)); }
    QByteArray result() const { return m_b; }

private:
    QByteArray m_b;
};

/// Single-byte text cut to at most n bytes without splitting a double-byte character.
QByteArray ansiCut(const QString& text, int n) {
    QString t = text;
    QByteArray b = TextCodec::toAnsi(t);
    while (b.size() > n) {
        t.chop(1);
        b = TextCodec::toAnsi(t);
    }
    return b;
}

QString ansiUpToNul(const QByteArray& b) {
    const int nul = int(b.indexOf('\0'));
    return TextCodec::fromAnsi(nul < 0 ? b : b.left(nul));
}

} // namespace

std::optional<DevMode> DevMode::fromBytes(const QByteArray& bytes) {
    if (bytes.size() < kSize)
        return std::nullopt;
    Reader r(bytes);
    DevMode d;
    d.deviceName = r.bytes(32);
    d.specVersion = r.take<quint16>();
    d.driverVersion = r.take<quint16>();
    d.size = r.take<quint16>();
    d.driverExtra = r.take<quint16>();
    d.fields = r.take<quint32>();
    for (qint16* f : {&d.orientation, &d.paperSize, &d.paperLength, &d.paperWidth, &d.scale, &d.copies,
                      &d.defaultSource, &d.printQuality, &d.color, &d.duplex, &d.yResolution, &d.ttOption, &d.collate})
        *f = r.take<qint16>();
    d.formName = r.bytes(32);
    for (quint16& w : d.displayWords)
        w = r.take<quint16>();
    for (quint32& w : d.displayDwords)
        w = r.take<quint32>();
    return d;
}

QByteArray DevMode::toBytes() const {
    Writer w;
    w.bytes(deviceName, 32, ' ');
    w.put(specVersion);
    w.put(driverVersion);
    w.put(size);
    w.put(driverExtra);
    w.put(fields);
    for (qint16 f : {orientation, paperSize, paperLength, paperWidth, scale, copies, defaultSource, printQuality, color,
                     duplex, yResolution, ttOption, collate})
        w.put(f);
    w.bytes(formName, 32, '\0');
    for (quint16 v : displayWords)
        w.put(v);
    for (quint32 v : displayDwords)
        w.put(v);
    return w.result();
}

QString DevMode::device() const {
    return ansiUpToNul(deviceName).trimmed();
}

void DevMode::setDevice(const QString& name) {
    deviceName = ansiCut(name, 32).leftJustified(32, ' ');
}

QByteArray DevNames::toBytes() const {
    const QByteArray d = ansiCut(driver, 80), v = ansiCut(device, 80), p = ansiCut(port, 80);
    Writer w;
    const quint16 driverAt = 8, deviceAt = quint16(driverAt + d.size() + 1), portAt = quint16(deviceAt + v.size() + 1);
    w.put(driverAt);
    w.put(deviceAt);
    w.put(portAt);
    w.put(quint16(isDefault ? 1 : 0));
    w.bytes(d + '\0' + v + '\0' + p + '\0', 256, '\0');
    return w.result();
}

DevNames DevNames::fromBytes(const QByteArray& bytes) {
    DevNames n;
    if (bytes.size() < 8)
        return n;
    Reader r(bytes);
    const quint16 driverAt = r.take<quint16>(), deviceAt = r.take<quint16>(), portAt = r.take<quint16>();
    n.isDefault = r.take<quint16>() != 0;
    n.driver = ansiUpToNul(bytes.mid(driverAt));
    n.device = ansiUpToNul(bytes.mid(deviceAt));
    n.port = ansiUpToNul(bytes.mid(portAt));
    return n;
}

namespace {

// The platform's paper bins against Qt's paper sources.
constexpr std::pair<int, QPrinter::PaperSource> kBins[] = {
    {1, QPrinter::Upper},       {2, QPrinter::Lower},          {3, QPrinter::Middle},         {4, QPrinter::Manual},
    {5, QPrinter::Envelope},    {6, QPrinter::EnvelopeManual}, {7, QPrinter::Auto},           {8, QPrinter::Tractor},
    {9, QPrinter::SmallFormat}, {10, QPrinter::LargeFormat},   {11, QPrinter::LargeCapacity}, {14, QPrinter::Cassette},
    {15, QPrinter::FormSource}};

/// The system printer on QPrinter. The page size, orientation, colour, duplex and resolution are
/// the printer's own; the zoom scales what is drawn.
class QtPrinter final : public IPrinter {
public:
    QtPrinter() = default;
    ~QtPrinter() override { abortDoc(); }

    QString deviceName() const override { return p().printerName(); }
    QString driverName() const override { return QPrinterInfo(p()).makeAndModel(); }
    QString port() const override { return QPrinterInfo(p()).location(); }

    std::optional<int> paperSize() const override {
        const QPageSize s = p().pageLayout().pageSize();
        if (!s.isValid())
            return std::nullopt;
        const int code = s.windowsId();
        return s.id() == QPageSize::Custom || code <= 0 ? 256 : code;
    }
    void setPaperSize(int code) override {
        if (code == 256)
            return; // a user-defined size is made by its width and height
        m_side = QSizeF();
        const QPageSize::PageSizeId id = QPageSize::id(code);
        if (id != QPageSize::Custom)
            p().setPageSize(QPageSize(id));
    }
    std::optional<int> widthTwips() const override { return sideTwips(true); }
    std::optional<int> heightTwips() const override { return sideTwips(false); }
    void setWidthTwips(int twips) override { setSide(true, twips); }
    void setHeightTwips(int twips) override { setSide(false, twips); }
    std::optional<int> orientation() const override {
        return p().pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    }
    void setOrientation(int o) override {
        if (o == 1 || o == 2)
            p().setPageOrientation(o == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    }
    std::optional<int> paperBin() const override {
        for (const auto& [bin, source] : kBins)
            if (source == p().paperSource())
                return bin;
        return std::nullopt;
    }
    void setPaperBin(int bin) override {
        for (const auto& [b, source] : kBins)
            if (b == bin)
                p().setPaperSource(source);
    }
    std::optional<int> printQuality() const override { return p().resolution(); }
    void setPrintQuality(int q) override {
        if (q > 0) // the negative draft-to-high codes leave the printer's resolution
            p().setResolution(q);
    }
    // The colour asked for is kept here too: a queue whose description offers colour only would have
    // the printer report colour whatever was chosen.
    std::optional<int> colorMode() const override {
        if (m_monochrome)
            return *m_monochrome ? 1 : 2;
        return p().colorMode() == QPrinter::Color ? 2 : 1;
    }
    void setColorMode(int mode) override {
        if (mode == 1 || mode == 2) {
            m_monochrome = mode == 1;
            p().setColorMode(mode == 2 ? QPrinter::Color : QPrinter::GrayScale);
        }
    }
    std::optional<int> duplex() const override {
        switch (p().duplex()) {
        case QPrinter::DuplexNone:
            return 1;
        case QPrinter::DuplexShortSide:
            return 3;
        default:
            return 2;
        }
    }
    void setDuplex(int d) override {
        if (d >= 1 && d <= 3)
            p().setDuplex(d == 1   ? QPrinter::DuplexNone
                          : d == 2 ? QPrinter::DuplexLongSide
                                   : QPrinter::DuplexShortSide);
    }
    std::optional<int> zoom() const override { return m_zoom; }
    void setZoom(int percent) override {
        if (percent > 0 && percent <= 1000)
            m_zoom = percent;
    }

    QStringList printers() const override { return QPrinterInfo::availablePrinterNames(); }
    bool select(const QString& name) override {
        if (!printers().contains(name))
            return false;
        p().setPrinterName(name);
        return p().printerName() == name;
    }

    void setDocName(const QString& name) override { p().setDocName(name); }
    QPainter* startOutput() override {
        if (!m_painter.isActive()) {
            m_error.clear();
            if (p().printerName().isEmpty()) {
                m_error = QStringLiteral("プリンタがありません。");
                return nullptr;
            }
            if (!m_painter.begin(jobDevice())) {
                m_error = QStringLiteral("プリンタ「%1」に出力を始められません。").arg(p().printerName());
                return nullptr;
            }
        }
        m_painter.resetTransform();
        if (m_zoom != 100)
            m_painter.scale(m_zoom / 100.0, m_zoom / 100.0);
        return &m_painter;
    }
    bool newPage() override {
        if (static_cast<QPrinter*>(m_painter.device())->newPage())
            return true;
        m_error = QStringLiteral("プリンタ「%1」で改ページできません。").arg(p().printerName());
        return false;
    }
    bool endDoc() override {
        if (!m_painter.isActive())
            return false;
        const bool ended = m_painter.end();
        if (!ended || p().printerState() == QPrinter::Error || p().printerState() == QPrinter::Aborted) {
            m_error = QStringLiteral("プリンタ「%1」に印刷を送れませんでした。").arg(p().printerName());
            return false;
        }
        return submitJob();
    }
    void abortDoc() override {
        if (!m_painter.isActive())
            return;
        if (!m_job)
            p().abort();
        m_painter.end();
        dropJob(); // made but never sent
    }
    QString lastError() const override { return m_error; }

    bool printDialog(QWidget* owner, QByteArray& devMode, QByteArray& devNames, PrintDlg& dlg) override {
        const DevNames names = DevNames::fromBytes(devNames);
        if (!names.device.isEmpty() && names.device != p().printerName())
            select(names.device);
        if (const auto in = DevMode::fromBytes(devMode)) {
            p().setCopyCount(std::max<int>(1, in->copies));
            p().setCollateCopies(in->collate != 0);
            setPaperSize(in->paperSize);
            if (in->paperSize == 256) {
                setWidthTwips(int(std::lround(in->paperWidth * 1440.0 / 254)));
                setHeightTwips(int(std::lround(in->paperLength * 1440.0 / 254)));
            }
            setOrientation(in->orientation);
            setColorMode(in->color);
            setDuplex(in->duplex);
        }
        QPrintDialog d(&p(), owner);
        d.setOption(QAbstractPrintDialog::PrintToFile, !(dlg.flags & PrintDlg::kDisablePrintToFile));
        d.setOption(QAbstractPrintDialog::PrintSelection, false);
        d.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        d.setOption(QAbstractPrintDialog::PrintPageRange, true);
        // Each copy is a job of its own, whole: copies are always collated, so the choice is not offered.
        d.setOption(QAbstractPrintDialog::PrintCollateCopies, false);
        d.setMinMax(dlg.minPage, dlg.maxPage);
        d.setFromTo(dlg.fromPage, dlg.toPage);
        d.setPrintRange(QAbstractPrintDialog::AllPages);
        // The dialog starts with the colour the settings ask for (it would start with the queue's).
        const bool gray = colorMode() == 1;
        QTimer::singleShot(0, &d, [&d, gray] {
            if (auto* b = d.findChild<QAbstractButton*>(gray ? QStringLiteral("grayscale") : QStringLiteral("color")))
                b->setChecked(true);
        });
        if (d.exec() != QDialog::Accepted)
            return false;
        if (auto* b = d.findChild<QAbstractButton*>(QStringLiteral("grayscale")))
            m_monochrome = b->isChecked(); // what the user left chosen
        m_reverse = p().pageOrder() == QPrinter::LastPageFirst;
        m_pageRanges.clear();
        if (p().printRange() == QPrinter::PageRange && !p().pageRanges().isEmpty()) {
            // The pages drawn run from the first chosen to the last; the job takes of them exactly
            // those chosen ("2,5" is pages 2 and 5, not 2 to 5), numbered within the job.
            const QPageRanges ranges = p().pageRanges();
            dlg.fromPage = std::max(dlg.minPage, ranges.firstPage());
            dlg.toPage = std::min(dlg.maxPage, std::max(dlg.fromPage, ranges.lastPage()));
            QStringList parts;
            for (const QPageRanges::Range& r : ranges.toRangeList()) {
                const int from = std::max(r.from, dlg.fromPage) - dlg.fromPage + 1;
                const int to = std::min(r.to, dlg.toPage) - dlg.fromPage + 1;
                if (from <= to)
                    parts << (from == to ? QString::number(from) : QStringLiteral("%1-%2").arg(from).arg(to));
            }
            if (ranges.toRangeList().size() > 1)
                m_pageRanges = parts.join(QLatin1Char(','));
        } else {
            dlg.fromPage = dlg.minPage;
            dlg.toPage = dlg.maxPage;
        }
        // What else the dialog and its queue's properties chose (odd or even pages, reverse order,
        // pages per sheet, the queue's own options) goes with the job as the queue's options.
        m_queueOptions = p().printEngine()->property(QPrintEngine::PrintEnginePropertyKey(0xfe00)).toStringList();
        DevMode out = DevMode::fromBytes(devMode).value_or(DevMode());
        out.setDevice(p().printerName());
        out.copies = qint16(std::clamp(p().copyCount(), 1, 32767));
        out.collate = p().collateCopies() ? 1 : 0;
        out.orientation = qint16(*orientation());
        out.color = qint16(*colorMode());
        out.duplex = qint16(*duplex());
        out.fields |= DevMode::kOrientation | DevMode::kColor | DevMode::kDuplex;
        devMode = out.toBytes();
        devNames = DevNames{driverName(), deviceName(), port(), false}.toBytes();
        // Each copy is a job of its own and the caller draws only the chosen pages.
        p().setCopyCount(1);
        p().setPrintRange(QPrinter::AllPages);
        p().setPageRanges(QPageRanges());
        return true;
    }

private:
    std::optional<int> sideTwips(bool width) const {
        const QSizeF s = p().pageLayout().pageSize().size(QPageSize::Point);
        if (s.isEmpty())
            return std::nullopt;
        return int(std::lround((width ? s.width() : s.height()) * 20));
    }
    void setSide(bool width, int twips) {
        if (twips <= 0)
            return;
        // The two sides as last set (the other one from the paper until it is set); paper sizes
        // are kept in portrait order, and the orientation turns the sheet.
        const QSizeF paper = p().pageLayout().pageSize().size(QPageSize::Point);
        if (m_side.isEmpty())
            m_side = paper;
        (width ? m_side.rwidth() : m_side.rheight()) = twips / 20.0;
        QSizeF s = m_side;
        if (s.width() > s.height())
            s.transpose();
        p().setPageSize(QPageSize(s, QPageSize::Point, QString(), QPageSize::ExactMatch));
    }

#ifdef DBTEXT_HAVE_CUPS
    // With CUPS a job is drawn into a PDF file of its own and handed to the print server only when
    // it is complete, so that a stopped or failed run sends nothing, and the server's answer tells
    // whether the job was taken.
    QPrinter* jobDevice() {
        m_jobDir = std::make_unique<QTemporaryDir>();
        m_job = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_job->setOutputFormat(QPrinter::PdfFormat);
        m_job->setOutputFileName(m_jobDir->filePath(QStringLiteral("job.pdf")));
        m_job->setFullPage(true);
        m_job->setPageLayout(p().pageLayout());
        m_job->setResolution(p().resolution());
        m_job->setColorMode(colorMode() == 1 ? QPrinter::GrayScale : QPrinter::Color);
        m_job->setDocName(p().docName());
        return m_job.get();
    }
    bool submitJob() {
        const QByteArray printer = p().printerName().toUtf8(), file = QFile::encodeName(m_job->outputFileName()),
                         title = p().docName().toUtf8();
        const QPageSize size = p().pageLayout().pageSize();
        const QSizeF pt = size.size(QPageSize::Point);
        const QByteArray media =
            size.id() == QPageSize::Custom
                ? QStringLiteral("Custom.%1x%2").arg(qRound(pt.width())).arg(qRound(pt.height())).toUtf8()
                : size.key().toUtf8();
        const char* sides = p().duplex() == QPrinter::DuplexNone        ? "one-sided"
                            : p().duplex() == QPrinter::DuplexShortSide ? "two-sided-short-edge"
                                                                        : "two-sided-long-edge";
        cups_option_t* options = nullptr;
        int n = 0;
        n = cupsAddOption("media", media.constData(), n, &options);
        n = cupsAddOption("sides", sides, n, &options);
        n = cupsAddOption("print-color-mode", colorMode() == 2 ? "color" : "monochrome", n, &options);
        if (m_reverse)
            n = cupsAddOption("outputorder", "reverse", n, &options);
        if (const char* source = mediaSource(p().paperSource()))
            n = cupsAddOption("media-source", source, n, &options);
        for (qsizetype i = 0; i + 1 < m_queueOptions.size(); i += 2) {
            const QByteArray key = m_queueOptions[i].toUtf8(), value = m_queueOptions[i + 1].toUtf8();
            if (key == "page-ranges")
                continue; // the pages drawn are those chosen already; their list follows below
            n = cupsAddOption(key.constData(), value.constData(), n, &options);
        }
        if (!m_pageRanges.isEmpty())
            n = cupsAddOption("page-ranges", m_pageRanges.toUtf8().constData(), n, &options);
        const int job = cupsPrintFile(printer.constData(), file.constData(), title.constData(), n, options);
        cupsFreeOptions(n, options);
        dropJob();
        if (job <= 0) {
            m_error = QStringLiteral("プリンタ「%1」が印刷を受け付けませんでした: %2")
                          .arg(p().printerName(), QString::fromUtf8(cupsLastErrorString()));
            return false;
        }
        return true;
    }
    void dropJob() {
        m_job.reset();
        m_jobDir.reset();
    }
    /// The IPP paper source of a bin, or none for a bin IPP does not name.
    static const char* mediaSource(QPrinter::PaperSource source) {
        switch (source) {
        case QPrinter::Upper:
            return "top";
        case QPrinter::Lower:
            return "bottom";
        case QPrinter::Middle:
            return "middle";
        case QPrinter::Manual:
            return "manual";
        case QPrinter::Envelope:
            return "envelope";
        case QPrinter::LargeCapacity:
            return "large-capacity";
        default:
            return nullptr; // the printer's own choice
        }
    }
    std::unique_ptr<QPrinter> m_job;
    std::unique_ptr<QTemporaryDir> m_jobDir;
#else
    QPrinter* jobDevice() {
        return &p();
    }
    bool submitJob() {
        return true;
    }
    void dropJob() {}
    std::unique_ptr<QPrinter> m_job; // always empty: the platform's printer takes the job itself
#endif

    /// The printer, made when first used: finding the printers may wait for the print server.
    QPrinter& p() const {
        if (!m_p) {
            m_p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            // The origin is the paper's corner: a page carries its own margins, as on screen and in PDF.
            m_p->setFullPage(true);
        }
        return *m_p;
    }

    mutable std::unique_ptr<QPrinter> m_p;
    QSizeF m_side; // a user-defined paper's sides as set, in points
    QStringList m_queueOptions; // the queue's options chosen in the last print dialog (name, value, …)
    QString m_pageRanges;       // the chosen pages within a job, when they are not one run
    std::optional<bool> m_monochrome; // the colour asked for, once asked
    bool m_reverse = false;           // the last page first
    QPainter m_painter;
    int m_zoom = 100;
    QString m_error;
};

} // namespace

std::unique_ptr<IPrinter> systemPrinter() {
    return std::make_unique<QtPrinter>();
}

} // namespace platform
