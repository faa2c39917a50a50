// PageFindBar: the bar under the page that finds text in it as it is typed.
#include "mainwin/PageFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QToolButton>

namespace mainwin {

PageFindBar::PageFindBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("findBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 1, 4, 1);
    row->setSpacing(4);
    auto* caption = new QLabel(QStringLiteral("ﾍﾟｰｼﾞ内検索:"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("findText"));
    m_edit->setClearButtonEnabled(true);
    m_edit->setToolTip(QStringLiteral("空白で区切った語はそれぞれ探します"));
    m_edit->installEventFilter(this);
    caption->setBuddy(m_edit);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("findCount"));
    m_count->setTextFormat(Qt::PlainText);
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("88,888 / 88,888 件（部分 88/88）")));
    auto button = [this](const QString& name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus); // the keys stay in the box
        return b;
    };
    QToolButton* previous = button(QStringLiteral("findPrevious"), QStringLiteral("▲"), QStringLiteral("前を検索 (Shift+F3)"));
    QToolButton* next = button(QStringLiteral("findNext"), QStringLiteral("▼"), QStringLiteral("次を検索 (F3)"));
    QToolButton* close = button(QStringLiteral("findClose"), QStringLiteral("×"), QStringLiteral("閉じる (Esc)"));
    row->addWidget(caption);
    row->addWidget(m_edit, 1);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(m_count);
    row->addWidget(close);
    connect(m_edit, &QLineEdit::textChanged, this, &PageFindBar::textChanged);
    connect(previous, &QToolButton::clicked, this, [this] { Q_EMIT step(false); });
    connect(next, &QToolButton::clicked, this, [this] { Q_EMIT step(true); });
    connect(close, &QToolButton::clicked, this, &PageFindBar::closeRequested);
}

QString PageFindBar::text() const {
    return m_edit->text();
}

void PageFindBar::offer(const QString& text) {
    const QSignalBlocker block(m_edit);
    m_edit->setText(text);
}

void PageFindBar::showCount(int current, int total, const QString& note, bool elsewhere) {
    const QLocale japanese(QLocale::Japanese);
    QString text;
    if (m_edit->text().trimmed().isEmpty())
        text.clear();
    else if (current >= 0)
        text = QStringLiteral("%1 / %2 件").arg(japanese.toString(current + 1), japanese.toString(total));
    else
        text = QStringLiteral("%1 件").arg(japanese.toString(total));
    if (!text.isEmpty() && !note.isEmpty())
        text += QStringLiteral("（%1）").arg(note);
    m_count->setText(text);
    // Nothing found: the box turns pink, as browsers show it.
    QPalette p = palette();
    if (total == 0 && !elsewhere && !m_edit->text().trimmed().isEmpty())
        p.setColor(QPalette::Base, QColor(0xff, 0xd8, 0xd8));
    m_edit->setPalette(p);
}

bool PageFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Q_EMIT step(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            Q_EMIT closeRequested();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace mainwin
