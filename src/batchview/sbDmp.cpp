// sbDmp: the batch page display window.
#include "batchview/sbDmp.h"

#include "docdb/Recordset.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "platform/MessageBox.h"
#include "platform/WindowPlace.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/Vb.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

Q_LOGGING_CATEGORY(lcBatch, "dbtext.batchview", QtWarningMsg)

namespace batchview {

namespace {
constexpr double kDesignWidth = 9720;
constexpr double kDesignHeight = 5595;
} // namespace

sbDmp::sbDmp(Services services, QWidget* parent) : QDialog(parent), m_s(services), m_tw(m_s.screen) {
    setObjectName(QStringLiteral("sbDmp"));
    setWindowTitle(QStringLiteral("一括表示"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_tTxt = new richtext::RichTextView(this);
    m_tTxt->setLinksActive(false); // the display follows no links: they show as text
    m_tTxt->setObjectName(QStringLiteral("tTxt"));
    const char* names[] = {"|<", "", "", ">|"};
    for (int i = 0; i < 4; ++i) {
        m_cmRet[i] = new QToolButton(this);
        m_cmRet[i]->setObjectName(QStringLiteral("cmRet%1").arg(i));
        m_cmRet[i]->setText(QString::fromLatin1(names[i]));
        connect(m_cmRet[i], &QToolButton::clicked, this, [this, i] { cmRetClick(i); });
    }
    // The previous and next buttons carry triangles pointing left and right.
    m_cmRet[1]->setArrowType(Qt::LeftArrow);
    m_cmRet[2]->setArrowType(Qt::RightArrow);
    const QString exits[] = {QStringLiteral("頁選択"), QStringLiteral("閉じる(&C)")};
    for (int i = 0; i < 2; ++i) {
        m_cmExit[i] = new QPushButton(exits[i], this);
        m_cmExit[i]->setObjectName(QStringLiteral("cmExit%1").arg(i));
        m_cmExit[i]->setAutoDefault(false);
    }
    connect(m_cmExit[0], &QPushButton::clicked, this, [this] {
        m_selected = m_position >= 0 && m_position < m_docs.size() ? qint32(util::Val(m_docs[m_position])) : 0;
        close();
    });
    connect(m_cmExit[1], &QPushButton::clicked, this, [this] {
        m_selected = 0;
        close();
    });
    m_chPage = new QCheckBox(QStringLiteral("自動頁"), this);
    m_chPage->setObjectName(QStringLiteral("chPage"));
    m_chPage->setToolTip(QStringLiteral("指定の秒数で、自動的に頁を進めます"));
    connect(m_chPage, &QCheckBox::toggled, this, &sbDmp::armTimedAdvance);
    m_cbTime = new QComboBox(this);
    m_cbTime->setObjectName(QStringLiteral("cbTime"));
    m_cbTime->addItems({QStringLiteral("１秒"), QStringLiteral("２秒"), QStringLiteral("３秒"), QStringLiteral("４秒"),
                        QStringLiteral("５秒")});
    m_lbPage = new QLabel(QStringLiteral("ﾍﾟｰｼﾞ"), this);
    m_cbPage = new QComboBox(this);
    m_cbPage->setObjectName(QStringLiteral("cbPage"));
    m_cbPage->addItems({QStringLiteral("ﾉｰﾏﾙ "), QStringLiteral("ﾍﾟｰｼﾞ(境界線)"), QStringLiteral("ﾍﾟｰｼﾞ･ｾﾝﾀﾘﾝｸﾞ"),
                        QStringLiteral("ﾌﾛｰﾃｨﾝｸﾞ")});
    m_lbZoom = new QLabel(QStringLiteral("ｽﾞｰﾑ"), this);
    m_cbZoom = new QComboBox(this);
    m_cbZoom->setObjectName(QStringLiteral("cbZoom"));
    for (int z = 100; z <= 200; z += 10)
        m_cbZoom->addItem(QStringLiteral("%1%").arg(z));
    connect(m_cbZoom, &QComboBox::currentIndexChanged, this, [this](int) {
        m_tTxt->setZoom(int(util::Val(m_cbZoom->currentText())));
        m_tTxt->viewport()->update();
    });
    connect(m_cbPage, &QComboBox::currentIndexChanged, this, [this](int m) {
        if (m < 0)
            return;
        if (m == 0) {
            // Normal mode starts again at the first zoom, which applies it.
            if (m_cbZoom->currentIndex() == 0)
                m_tTxt->setZoom(100);
            m_cbZoom->setCurrentIndex(0);
        }
        m_cbZoom->setEnabled(m != 3);
        m_tTxt->setViewMode(m);
        m_tTxt->viewport()->update();
    });

    m_timer1 = new QTimer(this);
    connect(m_timer1, &QTimer::timeout, this, &sbDmp::timedAdvance);
    m_timer2 = new QTimer(this);
    m_timer2->setSingleShot(true);
    m_timer2->setInterval(1);
    connect(m_timer2, &QTimer::timeout, this, [this] {
        if (m_pending != 0)
            cmRetClick(m_pending); // the control did not scroll: turn the page
    });
    // PageUp and PageDown first scroll inside the page; only when the view did not move does the
    // display turn to the previous or next document.
    connect(m_tTxt, &richtext::RichTextView::keyDown, this, [this](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            m_pending = key == Qt::Key_PageUp ? 1 : 2;
            m_timer2->start();
        }
    });
    connect(m_tTxt, &richtext::RichTextView::viewMoved, this, [this] { m_pending = 0; });

    // The window sees every key before its controls: Home, Left, Right and End turn pages.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    resize(m_tw.toPxX(kDesignWidth), m_tw.toPxY(kDesignHeight));
    // The controls start at their designed places: a window restored narrower than the layout's
    // limit keeps them there rather than where a widget starts.
    layout();
    m_place = new platform::WindowPlace(this);
}

sbDmp::~sbDmp() {
    for (QWidget* w : findChildren<QWidget*>())
        w->removeEventFilter(this);
}

QStringList sbDmp::documentList(const QString& sKys) {
    QStringList docs;
    for (const QString& element : sKys.split(QLatin1Char(','))) {
        const qsizetype dash = element.indexOf(QLatin1Char('-'));
        if (dash < 0)
            continue;
        const QString no = element.mid(dash + 1);
        if (util::Val(no) > 0 && !(QLatin1Char(',') + docs.join(QLatin1Char(',')) + QLatin1Char(','))
                                      .contains(QLatin1Char(',') + no + QLatin1Char(',')))
            docs << no;
    }
    return docs;
}

void sbDmp::correctToScreen(qint32& left, qint32& top, qint32& width, qint32& height, qint32 sw, qint32 sh) {
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (qint64(left) + width > sw) {
        left = 0;
        if (width > sw)
            width = sw;
    }
    if (qint64(top) + height > sh) {
        top = 0;
        if (height > sh)
            height = sh;
    }
}

void sbDmp::ActP(const QString& sKys, qint32& nNo) {
    nNo = 0;
    m_docs = documentList(sKys);
    if (m_docs.isEmpty())
        return; // nothing to show: no window
    m_s.screen.setBusy(true);
    m_mode = 2;
    m_auto = false;
    m_selected = 0;
    m_asking = false;
    {
        const QSignalBlocker block(m_chPage);
        m_chPage->setChecked(false);
    }
    m_timer1->stop();
    m_last = qint32(m_docs.size()) - 1;
    showDocument(0, false);
    loadSettings();
    m_s.screen.setBusy(false);
    exec();
    nNo = m_selected;
    m_prefetch.clear();
    m_prefetchTitle.clear();
    m_prefetchPage = -1;
    m_docs.clear();
}

bool sbDmp::read(qint32 p, QByteArray& content, QString& title) {
    if (p < 0 || p >= m_docs.size())
        return false;
    const std::optional<qint32> no = util::pageNumber(m_docs[p]);
    if (!no)
        return false;
    docdb::Recordset rs;
    bool ok = false;
    m_s.svr.R_Rset(docdb::sql::kDocument + QString::number(*no), rs, ok, 0);
    if (!ok || rs.eof())
        return false;
    try {
        const QVariant doc = rs.field(QStringLiteral("obDoc"));
        content = util::isNull(doc) ? QByteArray() : doc.toByteArray();
        title = util::CStr(rs.field(QStringLiteral("szDoc")));
    } catch (const util::VbError& e) {
        qCDebug(lcBatch) << "read:" << e.what();
        return false;
    }
    return true;
}

void sbDmp::showDocument(qint32 p, bool prefetched) {
    if (!m_auto)
        m_s.screen.setBusy(true);
    m_position = p;
    m_cmRet[1]->setEnabled(p > 0);
    m_cmRet[2]->setEnabled(false);
    // The page read ahead is used only when it is this one (a read ahead that failed left another).
    bool found = prefetched && m_prefetchPage == p;
    if (!found) {
        QByteArray content;
        QString title;
        if (read(p, content, title)) {
            m_prefetch = content;
            m_prefetchTitle = title;
            m_prefetchPage = p;
            found = true;
        }
    }
    if (found) {
        m_tTxt->loadFromMemory(m_prefetch, 9, false);
        setWindowTitle(m_prefetchTitle);
    }
    if (p < m_last) {
        QByteArray content;
        QString title;
        if (read(p + 1, content, title)) {
            m_prefetch = content;
            m_prefetchTitle = title;
            m_prefetchPage = p + 1;
        }
        m_cmRet[2]->setEnabled(true);
    }
    m_cmRet[0]->setEnabled(p != 0);
    m_cmRet[3]->setEnabled(p != m_last);
    if (!m_auto) {
        armTimedAdvance();
        m_s.screen.setBusy(false);
    }
    m_tTxt->setFocus();
}

void sbDmp::cmRetClick(int index) {
    try {
        switch (index) {
        case 0:
            if (m_position != 0)
                showDocument(0, false);
            break;
        case 1:
            if (m_position >= 1)
                showDocument(m_position - 1, false);
            break;
        case 2:
            if (m_position < m_last)
                showDocument(m_position + 1, true);
            break;
        case 3:
            if (m_position != m_last)
                showDocument(m_last, false);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        qCDebug(lcBatch) << "navigation:" << e.what();
    }
}

void sbDmp::armTimedAdvance() {
    m_auto = m_chPage->isChecked();
    if (m_auto)
        m_timer1->setInterval((m_cbTime->currentIndex() + 1) * 1000);
    if (m_auto)
        m_timer1->start();
    else
        m_timer1->stop();
}

void sbDmp::timedAdvance() {
    if (m_s.svr.waiting())
        return; // a page is still coming from the server: the advance waits for its next turn
    if (m_s.svr.stopped()) {
        m_chPage->setChecked(false); // cancelled, or the server is gone: the advance stops, as a click
        return;
    }
    if (m_position == m_last) {
        if (m_asking)
            return; // the question is open already
        m_asking = true;
        const platform::MsgAnswer a = m_s.messages.show(QStringLiteral("最後頁です\u3000この画面を閉じて良いですか"),
                                                        platform::MsgButtons::YesNo);
        m_asking = false;
        if (a == platform::MsgAnswer::Yes) {
            m_selected = 0;
            close();
        } else {
            m_chPage->setChecked(false); // as a click: the timed advance stops
        }
        return;
    }
    if (m_cmRet[2]->isEnabled())
        showDocument(m_position + 1, true);
}

void sbDmp::loadSettings() {
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(groupName());
    const auto number = [&](const char* key) {
        try {
            return util::CLng(ini.vGtVal(QString::fromLatin1(key), QVariant(qint32(0))).toDouble());
        } catch (const util::VbError&) {
            return qint32(0);
        }
    };
    qint32 left = number("Left"), top = number("Top"), width = number("Width"), height = number("Height");
    // The saved rectangle is the frame's top left and the inside's size: the screen it is corrected
    // to leaves room for the frame, so that the button row never ends below the screen.
    QRect screen = platform::availableAreaAt(QPoint(m_tw.toPxX(left), m_tw.toPxY(top)));
    if (screen.isEmpty())
        screen = QRect(0, 0, 1920, 1080);
    const QMargins frame = platform::frameMarginsOf(this);
    // Corrected within the screen it was on (on a second screen its left is not 0).
    const qint32 originX = qint32(m_tw.fromPxX(screen.x())), originY = qint32(m_tw.fromPxY(screen.y()));
    left -= originX;
    top -= originY;
    correctToScreen(left, top, width, height, qint32(m_tw.fromPxX(screen.width() - frame.left() - frame.right())),
                    qint32(m_tw.fromPxY(screen.height() - frame.top() - frame.bottom())));
    left += originX;
    top += originY;
    if (width > 0 && height > 0)
        m_place->restore(QPoint(m_tw.toPxX(left), m_tw.toPxY(top)), QSize(m_tw.toPxX(width), m_tw.toPxY(height)));
    setWindowState(number("WindowState") == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
    const auto index = [](qint32 v, int count) {
        return v >= 0 && v < count ? int(v) : 0;
    };
    m_cbZoom->setCurrentIndex(index(number("Zoom"), m_cbZoom->count()));
    const int page = index(number("Page"), m_cbPage->count());
    if (m_cbPage->currentIndex() == page)
        Q_EMIT m_cbPage->currentIndexChanged(page); // applies the mode (and for 0 the zoom) again
    m_cbPage->setCurrentIndex(page);
    m_tTxt->setViewMode(page);
    m_cbTime->setCurrentIndex(index(number("Timmer"), m_cbTime->count()));
}

void sbDmp::saveSettings() {
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(groupName());
    const QRect place = m_place->normalPlace();
    ini.SetVal(QStringLiteral("Left"), double(std::lround(m_tw.fromPxX(place.x()))));
    ini.SetVal(QStringLiteral("Top"), double(std::lround(m_tw.fromPxY(place.y()))));
    ini.SetVal(QStringLiteral("Width"), double(std::lround(m_tw.fromPxX(place.width()))));
    ini.SetVal(QStringLiteral("Height"), double(std::lround(m_tw.fromPxY(place.height()))));
    ini.SetVal(QStringLiteral("Zoom"), qint16(m_cbZoom->currentIndex()));
    ini.SetVal(QStringLiteral("Page"), qint16(m_tTxt->viewMode()));
    ini.SetVal(QStringLiteral("Timmer"), qint16(m_cbTime->currentIndex()));
    ini.SetVal(QStringLiteral("WindowState"), qint16(isMaximized() ? 2 : 0));
    ini.SetGtx();
    bool ok = false;
    ini.SetTxt(ok);
}

void sbDmp::done(int r) {
    // Every way of closing saves the window's settings first.
    m_timer1->stop();
    m_timer2->stop();
    saveSettings();
    QDialog::done(r);
}

namespace {
/// The navigation button of a window-level key, or -1.
int navigationKey(const QEvent* event) {
    switch (static_cast<const QKeyEvent*>(event)->key()) {
    case Qt::Key_Home:
        return 0;
    case Qt::Key_Left:
        return 1;
    case Qt::Key_Right:
        return 2;
    case Qt::Key_End:
        return 3;
    default:
        return -1;
    }
}
} // namespace

bool sbDmp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isAncestorOf(qobject_cast<QWidget*>(watched))) {
        if (const int button = navigationKey(event); button >= 0) {
            cmRetClick(button);
            return true; // consumed: the controls do not see it
        }
    }
    return QDialog::eventFilter(watched, event);
}

void sbDmp::keyPressEvent(QKeyEvent* event) {
    if (const int button = navigationKey(event); button >= 0) {
        cmRetClick(button); // no control has the focus: the window itself
        return;
    }
    QDialog::keyPressEvent(event);
}

void sbDmp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_tTxt->setFocus();
}

void sbDmp::place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(m_tw.toPx(left, top, width, height));
}

void sbDmp::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layout();
}

void sbDmp::layout() {
    if (isMinimized())
        return;
    const double W = m_tw.fromPxX(width());
    const double H = m_tw.fromPxY(height());
    if (W < 7000)
        return;           // too narrow: the controls keep their places
    const double h = 360; // the height of 閉じる(&C)
    const double y = H - h - 60;
    place(m_tTxt, 60, 60, W - 120, H - h - 240);
    // From the right edge leftwards, each control 60 twips left of the one placed before it.
    struct Item {
        QWidget* w;
        double width, height, top;
    };
    const Item items[] = {
        {m_cmExit[1], 900, 360, y},   {m_cmExit[0], 900, 360, y},    {m_cmRet[3], 345, 360, y},
        {m_cmRet[2], 555, 360, y},    {m_cmRet[1], 555, 360, y},     {m_cmRet[0], 345, 360, y},
        {m_cbTime, 825, 300, y + 30}, {m_chPage, 945, 225, y + 50},  {m_cbZoom, 795, 300, y},
        {m_lbZoom, 435, 285, y + 80}, {m_cbPage, 1275, 300, y + 30}, {m_lbPage, 435, 285, y + 80},
    };
    double left = W;
    for (const Item& it : items) {
        // Lists, labels and the check box take the size their font needs, at least the designed
        // one; one taller than designed is centred on the row of buttons.
        const bool button = qobject_cast<QPushButton*>(it.w) || qobject_cast<QToolButton*>(it.w);
        const QSize hint = it.w->sizeHint();
        const double width = button ? it.width : std::max(it.width, m_tw.fromPxX(hint.width()));
        const double height = button ? it.height : std::max(it.height, m_tw.fromPxY(hint.height()));
        const double top = height > it.height ? y + (h - height) / 2 : it.top;
        left = left - 60 - width;
        place(it.w, left, top, width, height);
    }
}

} // namespace batchview
