// Printer: the printer settings record of printer settings files, the device-names block, the
// system printer and its print dialog.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class QPainter;
class QWidget;

namespace platform {

/// The printer settings record as printer settings files ("Page.prndt") keep it: the platform's
/// device-mode record, single-byte version, packed without padding, 146 bytes, little-endian.
/// The user-defined paper width and length are in tenths of a millimetre, as the platform's own
/// record keeps them.
struct DevMode {
    static constexpr int kSize = 146;
    // Bits of `fields`: which settings are valid.
    static constexpr quint32 kOrientation = 0x1, kPaperSize = 0x2, kPaperLength = 0x4, kPaperWidth = 0x8, kScale = 0x10,
                             kDefaultSource = 0x200, kPrintQuality = 0x400, kColor = 0x800, kDuplex = 0x1000;

    QByteArray deviceName; // single-byte text, up to 32 bytes (blank-padded when written)
    quint16 specVersion = 0, driverVersion = 0, size = kSize, driverExtra = 0;
    quint32 fields = 0;
    qint16 orientation = 1;                 // 1 portrait, 2 landscape
    qint16 paperSize = 0;                   // platform paper code; 256 user-defined
    qint16 paperLength = 0, paperWidth = 0; // tenths of a millimetre, with paper size 256
    qint16 scale = 0;                       // printer zoom percent; 0 not set
    qint16 copies = 1;
    qint16 defaultSource = 0, printQuality = 0, color = 0, duplex = 0, yResolution = 0, ttOption = 0, collate = 0;
    QByteArray formName;                   // single-byte text, up to 32 bytes
    std::array<quint16, 2> displayWords{}; // kept as read, not used
    std::array<quint32, 10> displayDwords{};

    /// The record from the first 146 bytes; nothing when fewer bytes are given.
    static std::optional<DevMode> fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;
    /// The device name with the padding blanks and NULs trimmed, as text.
    QString device() const;
    void setDevice(const QString& name);
};

/// The device-names block the print dialog takes and gives back: four 16-bit words (driver,
/// device and port offsets, default flag) and a 256-byte text area holding the three names, each
/// ended by a NUL. 264 bytes.
struct DevNames {
    static constexpr int kSize = 264;
    QString driver, device, port;
    bool isDefault = false;

    QByteArray toBytes() const;
    /// Reads the names at their offsets, each up to its NUL; a short block gives empty names.
    static DevNames fromBytes(const QByteArray& bytes);
};

/// What the print dialog is asked and answers: the page range offered and chosen.
struct PrintDlg {
    static constexpr quint32 kDisablePrintToFile = 0x80000;
    quint32 flags = kDisablePrintToFile;
    int fromPage = 1, toPage = 1, minPage = 1, maxPage = 1;
};

/// The system printer: its identity, its settings, the installed printers, output and the print
/// dialog. Setting reads give nothing when the printer cannot tell; writes of a setting it does not
/// know are ignored.
class IPrinter {
public:
    virtual ~IPrinter() = default;

    virtual QString deviceName() const = 0;
    virtual QString driverName() const = 0;
    virtual QString port() const = 0;

    virtual std::optional<int> paperSize() const = 0; // platform paper code, 256 user-defined
    virtual void setPaperSize(int code) = 0;
    /// Paper width and height in twips; setting them makes a user-defined size (0 leaves it).
    virtual std::optional<int> widthTwips() const = 0;
    virtual std::optional<int> heightTwips() const = 0;
    virtual void setWidthTwips(int twips) = 0;
    virtual void setHeightTwips(int twips) = 0;
    virtual std::optional<int> orientation() const = 0; // 1 portrait, 2 landscape
    virtual void setOrientation(int orientation) = 0;
    virtual std::optional<int> paperBin() const = 0; // the platform's bin codes
    virtual void setPaperBin(int bin) = 0;
    virtual std::optional<int> printQuality() const = 0; // dots per inch, or the platform's negative codes
    virtual void setPrintQuality(int quality) = 0;
    virtual std::optional<int> colorMode() const = 0; // 1 monochrome, 2 colour
    virtual void setColorMode(int mode) = 0;
    virtual std::optional<int> duplex() const = 0; // 1 simplex, 2 long edge, 3 short edge
    virtual void setDuplex(int duplex) = 0;
    virtual std::optional<int> zoom() const = 0; // percent the output is scaled by
    virtual void setZoom(int percent) = 0;

    /// Device names of the installed printers.
    virtual QStringList printers() const = 0;
    /// Makes the installed printer of that device name the current printer.
    virtual bool select(const QString& deviceName) = 0;

    /// The name the next document is sent under (shown in the print queue).
    virtual void setDocName(const QString& name) = 0;
    /// Starts the document when none is open and returns the painter of the current printer page;
    /// nothing when output cannot start.
    virtual QPainter* startOutput() = 0;
    virtual bool newPage() = 0;
    /// Ends the document and sends it; false when the job failed.
    virtual bool endDoc() = 0;
    /// Drops the open document without sending it.
    virtual void abortDoc() = 0;
    /// Why the last output step failed, for the user.
    virtual QString lastError() const = 0;

    /// Runs the print dialog owned by `owner` on a device-mode block (146 bytes) and a device-names
    /// block (264 bytes); when confirmed, both come back filled in and the page range in `dlg`.
    virtual bool printDialog(QWidget* owner, QByteArray& devMode, QByteArray& devNames, PrintDlg& dlg) = 0;
};

/// The system printer of this platform (Qt's printer, on Linux the CUPS queues).
std::unique_ptr<IPrinter> systemPrinter();

} // namespace platform
