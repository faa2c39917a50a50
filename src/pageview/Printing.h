// Printing: the page view's printing of the viewed document: the paper-size code, the printer
// settings file, the print dialog with those settings, and the print run.
#pragma once

#include "platform/Printer.h"

#include <QString>

#include <functional>

class QWidget;

namespace richtext {
class RichTextView;
}

namespace pageview {

/// The platform paper code of a page of width × height twips: the first of A4 (9), A5 (11), B5 (13),
/// Japanese postcard (43) and Letter (1) within 2 % on both sides, taken in portrait order, else 256.
int paperCode(double width, double height, bool landscape);

/// Twips to the tenths of a millimetre the settings record keeps, as the nearest 16-bit number.
qint16 tenthsMm(double twips);

/// How a print run ended.
struct PrintOutcome {
    enum class Kind { Printed, Cancelled, Failed } kind = Kind::Cancelled;
    int copiesSent = 0;
    QString error; // why it failed, for the user
};

/// The printing of one page view: set up each time the window opens (paper code and settings file),
/// then any number of print runs on the viewed control.
class Printing {
public:
    explicit Printing(platform::IPrinter& printer) : m_printer(printer) {}

    /// Works out the paper code from the control's page size.
    void setPaperCode(const richtext::RichTextView& view);
    int code() const { return m_code; }
    /// The settings file in use: sFL when it names an existing file, else "Page.prndt" in the user
    /// data folder (which ends with its separator).
    void setSettingsFile(const QString& userDataFolder, const QString& sFL);
    QString settingsFile() const { return m_file; }
    QString defaultFile() const { return m_default; }

    /// Runs the print dialog with the starting settings and applies the outcome to the printer;
    /// copies is 0 when the user cancelled.
    void printDialog(QWidget* owner, richtext::RichTextView& view, int& copies, int& first, int& last);
    /// Prints through the dialog: each copy a job of its own, at print zoom 100; the control's print
    /// zoom is put back afterwards. `progress(done, total)` is called after each page and may answer
    /// false to stop the run (the open job is dropped).
    /// Each job is sent under `title`, with the copy's number when there are several.
    PrintOutcome printRun(QWidget* owner, richtext::RichTextView& view, const QString& title,
                          const std::function<bool(int, int)>& progress = {});

    /// Settings from the current printer, a file, and onto the printer (used by the dialog).
    void captureSettings();
    bool loadSettings(const QString& path, const richtext::RichTextView& view);
    void applyRecord(const richtext::RichTextView& view);
    const platform::DevMode& record() const { return m_record; }

private:
    void followPage(const richtext::RichTextView& view);
    /// Makes the first installed printer whose upper-cased name, cut to the length of `name`,
    /// equals the upper-cased `name` the current printer.
    void selectLike(const QString& name, bool cut);

    platform::IPrinter& m_printer;
    platform::DevMode m_record;
    int m_code = 256;
    QString m_file, m_default;
};

} // namespace pageview
