// Printing: paper code, printer settings file, print dialog and print run of the page view.
#include "pageview/Printing.h"

#include "richtext/RichTextView.h"
#include "util/Vb.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <cmath>

namespace pageview {

using platform::DevMode;

int paperCode(double width, double height, bool landscape) {
    struct Paper {
        double shortSide, longSide;
        int code;
    };
    static constexpr Paper kPapers[] = {
        {11906, 16838, 9}, {8300, 11900, 11}, {10318, 14581, 13}, {5666, 8386, 43}, {12240, 15840, 1}};
    const double shortSide = landscape ? height : width, longSide = landscape ? width : height;
    for (const Paper& p : kPapers)
        if (std::abs(1 - longSide / p.longSide) < 0.02 && std::abs(1 - shortSide / p.shortSide) < 0.02)
            return p.code;
    return 256;
}

qint16 tenthsMm(double twips) {
    return qint16(std::clamp(util::roundHalfEven(twips * 254 / 1440), -32768.0, 32767.0));
}

namespace {
bool isFile(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}
} // namespace

void Printing::setPaperCode(const richtext::RichTextView& view) {
    m_code = paperCode(view.pageWidth(), view.pageHeight(), view.landscape());
}

void Printing::setSettingsFile(const QString& userDataFolder, const QString& sFL) {
    // Without a user data folder there is no default file (never one in the working folder).
    m_default = userDataFolder.isEmpty() ? QString() : userDataFolder + QStringLiteral("Page.prndt");
    m_file = isFile(sFL) ? sFL : m_default;
}

void Printing::followPage(const richtext::RichTextView& view) {
    m_record.paperSize = qint16(m_code);
    const bool user = m_code == 256;
    m_record.paperWidth = user ? tenthsMm(view.pageWidth()) : 0;
    m_record.paperLength = user ? tenthsMm(view.pageHeight()) : 0;
    m_record.orientation = view.landscape() ? 2 : 1;
}

void Printing::selectLike(const QString& name, bool cut) {
    const QString want = name.toUpper();
    auto same = [&](const QString& device) {
        return (cut ? device.left(want.size()) : device).toUpper() == want;
    };
    if (same(m_printer.deviceName()))
        return;
    for (const QString& device : m_printer.printers())
        if (same(device)) {
            m_printer.select(device);
            return;
        }
}

void Printing::captureSettings() {
    DevMode d;
    d.setDevice(m_printer.deviceName());
    const std::optional<int> paper = m_printer.paperSize();
    if (paper && *paper == 256) {
        const auto w = m_printer.widthTwips(), h = m_printer.heightTwips();
        d.fields |= DevMode::kPaperSize | (w ? DevMode::kPaperWidth : 0) | (h ? DevMode::kPaperLength : 0);
        d.paperSize = 256;
        d.paperWidth = w ? tenthsMm(*w) : 0;
        d.paperLength = h ? tenthsMm(*h) : 0;
    } else if (paper) {
        d.fields |= DevMode::kPaperSize;
        d.paperSize = qint16(*paper);
    }
    auto take = [&d](std::optional<int> v, qint16& field, quint32 bit) {
        if (v) {
            field = qint16(std::clamp(*v, -32768, 32767));
            d.fields |= bit;
        }
    };
    take(m_printer.paperBin(), d.defaultSource, DevMode::kDefaultSource);
    take(m_printer.printQuality(), d.printQuality, DevMode::kPrintQuality);
    take(m_printer.colorMode(), d.color, DevMode::kColor);
    take(m_printer.duplex(), d.duplex, DevMode::kDuplex);
    take(m_printer.orientation(), d.orientation, DevMode::kOrientation);
    take(m_printer.zoom(), d.scale, DevMode::kScale);
    m_record = d;
}

bool Printing::loadSettings(const QString& path, const richtext::RichTextView& view) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A file shorter than a record is no settings file: the settings then come from elsewhere.
    const std::optional<DevMode> d = DevMode::fromBytes(f.read(DevMode::kSize));
    if (!d)
        return false;
    m_record = *d;
    followPage(view);
    const QString device = m_record.device();
    m_record.setDevice(device);
    selectLike(device, true);
    applyRecord(view);
    return true;
}

void Printing::applyRecord(const richtext::RichTextView& view) {
    m_printer.setPaperSize(m_code);
    m_printer.setWidthTwips(m_code == 256 ? view.pageWidth() : 0);
    m_printer.setHeightTwips(m_code == 256 ? view.pageHeight() : 0);
    m_printer.setOrientation(view.landscape() ? 2 : 1);
    m_printer.setPaperBin(m_record.defaultSource);
    m_printer.setPrintQuality(m_record.printQuality);
    m_printer.setColorMode(m_record.color);
    m_printer.setDuplex(m_record.duplex);
    if (m_record.scale != 0)
        m_printer.setZoom(m_record.scale);
}

void Printing::printDialog(QWidget* owner, richtext::RichTextView& view, int& copies, int& first, int& last) {
    const int count = view.pageCount();
    if (!(isFile(m_file) && loadSettings(m_file, view)) &&
        !(m_file != m_default && isFile(m_default) && loadSettings(m_default, view)))
        captureSettings();
    followPage(view);
    QByteArray devMode = m_record.toBytes();
    QByteArray devNames =
        platform::DevNames{m_printer.driverName(), m_printer.deviceName(), m_printer.port(), false}.toBytes();
    platform::PrintDlg dlg;
    dlg.fromPage = 1;
    dlg.toPage = count;
    dlg.minPage = 1;
    dlg.maxPage = count;
    if (m_printer.printDialog(owner, devMode, devNames, dlg)) {
        if (const auto back = DevMode::fromBytes(devMode))
            m_record = *back;
        const QString device = platform::DevNames::fromBytes(devNames).device;
        if (!device.isEmpty())
            selectLike(device, false);
        copies = m_record.copies;
        first = dlg.fromPage;
        last = dlg.toPage;
    } else {
        copies = 0;
    }
    applyRecord(view);
}

PrintOutcome Printing::printRun(QWidget* owner, richtext::RichTextView& view, const QString& title,
                                const std::function<bool(int, int)>& progress) {
    const int count = view.pageCount();
    int copies = 1, first = 1, last = count;
    printDialog(owner, view, copies, first, last);
    PrintOutcome out;
    first = std::max(first, 1);
    last = std::min(last, count);
    if (copies <= 0 || first > last)
        return out; // cancelled, or nothing to print
    // The run draws through the printer's own device, which does not outlive the job: the control
    // gets its print device back with its zoom.
    const int keep = view.printZoom();
    QPaintDevice* keepDevice = view.printDevice();
    view.setPrintZoom(100);
    const int total = copies * (last - first + 1);
    int done = 0;
    out.kind = PrintOutcome::Kind::Printed;
    for (int c = 1; c <= copies && out.kind == PrintOutcome::Kind::Printed; ++c) {
        m_printer.setDocName(copies > 1 ? QStringLiteral("%1 (%2/%3)").arg(title).arg(c).arg(copies) : title);
        for (int page = first; page <= last; ++page) {
            QPainter* painter = m_printer.startOutput();
            if (!painter) {
                out.kind = PrintOutcome::Kind::Failed;
                break;
            }
            view.setPrintDevice(painter->device());
            view.printPage(page, painter);
            if (page != last && !m_printer.newPage()) {
                out.kind = PrintOutcome::Kind::Failed;
                break;
            }
            if (progress && !progress(++done, total)) {
                out.kind = PrintOutcome::Kind::Cancelled;
                break;
            }
        }
        if (out.kind != PrintOutcome::Kind::Printed)
            m_printer.abortDoc();
        else if (m_printer.endDoc())
            ++out.copiesSent;
        else
            out.kind = PrintOutcome::Kind::Failed;
    }
    if (out.kind == PrintOutcome::Kind::Failed)
        out.error = m_printer.lastError();
    view.setPrintZoom(keep);
    view.setPrintDevice(keepDevice);
    return out;
}

} // namespace pageview
