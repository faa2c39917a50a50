// FakePrinter: a recording printer. Each job is kept as the images of its pages; the print dialog
// answers through a function the test sets, and what it was handed is kept.
#pragma once

#include "platform/Printer.h"

#include <QImage>
#include <QMap>
#include <QPainter>
#include <QVector>

#include <functional>
#include <memory>

namespace testsupport {

class FakePrinter final : public platform::IPrinter {
public:
    // Settings by name; a name in `unreadable` cannot be read.
    QMap<QString, int> settings{{QStringLiteral("paper"), 9}, {QStringLiteral("orientation"), 1}};
    QStringList unreadable;
    QString device = QStringLiteral("Office"), driver = QStringLiteral("drv"), where = QStringLiteral("lpt");
    QStringList installed{QStringLiteral("Office"), QStringLiteral("Label Writer")};
    int dpi = 48;
    int failNewPageAt = 0; // the n-th new page of the whole run fails (0: never)

    // What happened.
    QVector<QVector<QImage>> jobs; // pages of each job sent
    QStringList log;               // "start", "new", "end", "abort"
    QStringList docNames;
    QByteArray dialogDevMode, dialogDevNames;
    platform::PrintDlg dialogRecord;
    std::function<bool(QByteArray&, QByteArray&, platform::PrintDlg&)> answer = [](QByteArray&, QByteArray&,
                                                                                   platform::PrintDlg&) {
        return true;
    };

    QString deviceName() const override { return device; }
    QString driverName() const override { return driver; }
    QString port() const override { return where; }
    std::optional<int> paperSize() const override { return read(QStringLiteral("paper")); }
    void setPaperSize(int v) override { settings[QStringLiteral("paper")] = v; }
    std::optional<int> widthTwips() const override { return read(QStringLiteral("width")); }
    std::optional<int> heightTwips() const override { return read(QStringLiteral("height")); }
    void setWidthTwips(int v) override { settings[QStringLiteral("width")] = v; }
    void setHeightTwips(int v) override { settings[QStringLiteral("height")] = v; }
    std::optional<int> orientation() const override { return read(QStringLiteral("orientation")); }
    void setOrientation(int v) override { settings[QStringLiteral("orientation")] = v; }
    std::optional<int> paperBin() const override { return read(QStringLiteral("bin")); }
    void setPaperBin(int v) override { settings[QStringLiteral("bin")] = v; }
    std::optional<int> printQuality() const override { return read(QStringLiteral("quality")); }
    void setPrintQuality(int v) override { settings[QStringLiteral("quality")] = v; }
    std::optional<int> colorMode() const override { return read(QStringLiteral("color")); }
    void setColorMode(int v) override { settings[QStringLiteral("color")] = v; }
    std::optional<int> duplex() const override { return read(QStringLiteral("duplex")); }
    void setDuplex(int v) override { settings[QStringLiteral("duplex")] = v; }
    std::optional<int> zoom() const override { return read(QStringLiteral("zoom")); }
    void setZoom(int v) override { settings[QStringLiteral("zoom")] = v; }

    QStringList printers() const override { return installed; }
    bool select(const QString& name) override {
        if (!installed.contains(name))
            return false;
        device = name;
        return true;
    }

    void setDocName(const QString& name) override { docNames << name; }
    QPainter* startOutput() override {
        if (!m_open) {
            log << QStringLiteral("start");
            m_open = true;
            m_pages.clear();
            addPage();
        }
        return m_painter.get();
    }
    bool newPage() override {
        log << QStringLiteral("new");
        if (failNewPageAt > 0 && --failNewPageAt == 0)
            return false;
        addPage();
        return true;
    }
    bool endDoc() override {
        log << QStringLiteral("end");
        m_painter.reset();
        m_open = false;
        jobs << m_pages;
        return true;
    }
    void abortDoc() override {
        log << QStringLiteral("abort");
        m_painter.reset();
        m_open = false;
    }
    QString lastError() const override { return QStringLiteral("紙詰まり"); }

    bool printDialog(QWidget*, QByteArray& devMode, QByteArray& devNames, platform::PrintDlg& dlg) override {
        dialogDevMode = devMode;
        dialogDevNames = devNames;
        dialogRecord = dlg;
        return answer(devMode, devNames, dlg);
    }

    /// A blank page image at this printer's resolution for a page of w × h twips.
    QImage blankPage(int wTw = 11906, int hTw = 16838) const {
        QImage page(wTw * dpi / 1440, hTw * dpi / 1440, QImage::Format_RGB32);
        page.setDotsPerMeterX(int(dpi / 0.0254));
        page.setDotsPerMeterY(int(dpi / 0.0254));
        page.fill(Qt::white);
        return page;
    }

private:
    std::optional<int> read(const QString& key) const {
        if (unreadable.contains(key) || !settings.contains(key))
            return std::nullopt;
        return settings.value(key);
    }
    void addPage() {
        m_painter.reset();
        m_pages << blankPage();
        m_painter = std::make_unique<QPainter>(&m_pages.last());
    }
    bool m_open = false;
    QVector<QImage> m_pages;
    std::unique_ptr<QPainter> m_painter;
};

} // namespace testsupport
