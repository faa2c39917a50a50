// PageFindBar: the bar under the page that finds text in it as it is typed.
#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;

namespace mainwin {

/// The find bar: a text box, the count of what it found ("n / N 件"), previous and next, and close.
/// In the box Enter goes to the next place, Shift+Enter to the previous one, and Esc closes the bar.
class PageFindBar : public QFrame {
    Q_OBJECT
public:
    explicit PageFindBar(QWidget* parent = nullptr);

    QLineEdit* edit() const { return m_edit; }
    QLabel* count() const { return m_count; }
    QString text() const;
    /// Puts a text in the box without raising textChanged (the owner marks it itself).
    void offer(const QString& text);
    /// Shows the count: the current place (0-based, -1 for none), how many there are, and a note. A
    /// text that is nowhere on the page (not even elsewhere: in another part) shows its box in a
    /// warning colour.
    void showCount(int current, int total, const QString& note = QString(), bool elsewhere = false);

Q_SIGNALS:
    void textChanged(const QString& text);
    void step(bool forward);
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit = nullptr;
    QLabel* m_count = nullptr;
};

} // namespace mainwin
