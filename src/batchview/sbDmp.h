// sbDmp: the batch page display: a list of pages shown one after another, by buttons, keys or timed
// advance, with its own view mode, zoom and saved place.
#pragma once

#include "platform/Twips.h"
#include "platform/WindowPlace.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

namespace docdb {
class zSvr;
}
namespace platform {
class IMessageBox;
class IScreen;
} // namespace platform
namespace richtext {
class RichTextView;
}
namespace settings {
class yIni;
}

namespace batchview {

/// The services the display window uses.
struct Services {
    platform::IMessageBox& messages;
    platform::IScreen& screen;
    settings::yIni& ini;
    docdb::zSvr& svr;
};

/// sbDmp: shows the documents of a page list one at a time. While one is shown the next is already
/// read, so that the next button and the timed advance show it at once. Geometry is kept in twips.
class sbDmp : public QDialog {
    Q_OBJECT
public:
    explicit sbDmp(Services services, QWidget* parent = nullptr);
    ~sbDmp() override;

    /// Shows the pages of sKys ("parent-page,parent-page,…") modally; nNo receives the number of the
    /// page chosen with "頁選択", or 0. A list that names no page opens no window and gives 0.
    void ActP(const QString& sKys, qint32& nNo);
    /// The document numbers of a page list: the text after each element's first "-", when above 0,
    /// each once, in order of first appearance.
    static QStringList documentList(const QString& sKys);
    /// Pulls a saved rectangle onto a screen of sw × sh twips.
    static void correctToScreen(qint32& left, qint32& top, qint32& width, qint32& height, qint32 sw, qint32 sh);

    /// Shows the document at position p, from the prefetched content when prefetched is set.
    void showDocument(qint32 p, bool prefetched);
    /// The navigation buttons: 0 first, 1 previous, 2 next, 3 last.
    void cmRetClick(int index);
    /// Arms the timed advance from the check box and the interval list.
    void armTimedAdvance();
    /// One tick of the timed advance.
    void timedAdvance();
    void loadSettings();
    void saveSettings();

    // State and controls, for the main window and tests.
    qint32 position() const { return m_position; }
    qint32 lastIndex() const { return m_last; }
    QStringList documents() const { return m_docs; }
    richtext::RichTextView* tTxt() const { return m_tTxt; }
    QToolButton* cmRet(int i) const { return m_cmRet[i]; }
    QPushButton* cmExit(int i) const { return m_cmExit[i]; }
    QCheckBox* chPage() const { return m_chPage; }
    QComboBox* cbTime() const { return m_cbTime; }
    QComboBox* cbPage() const { return m_cbPage; }
    QComboBox* cbZoom() const { return m_cbZoom; }
    QTimer* timer1() const { return m_timer1; }
    static QString groupName() { return QStringLiteral("DMP2_位置"); }

public Q_SLOTS:
    void done(int r) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool read(qint32 p, QByteArray& content, QString& title);
    void place(QWidget* w, double left, double top, double width, double height);
    void layout();

    Services m_s;
    platform::Twips m_tw;
    platform::WindowPlace* m_place = nullptr; // the window's place, kept across sessions
    richtext::RichTextView* m_tTxt = nullptr;
    QToolButton* m_cmRet[4] = {};
    QPushButton* m_cmExit[2] = {};
    QCheckBox* m_chPage = nullptr;
    QComboBox* m_cbTime = nullptr;
    QComboBox* m_cbPage = nullptr;
    QComboBox* m_cbZoom = nullptr;
    QLabel* m_lbPage = nullptr;
    QLabel* m_lbZoom = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;

    qint16 m_mode = 0;
    bool m_auto = false;
    qint32 m_position = 0; // 32-bit: lists of any length
    qint32 m_last = -1;
    QStringList m_docs;
    QByteArray m_prefetch;
    QString m_prefetchTitle;
    qint32 m_prefetchPage = -1; // the page m_prefetch holds
    qint32 m_selected = 0;
    qint16 m_pending = 0;
    bool m_asking = false; // the closing question is open
};

} // namespace batchview
