// ServerWait: a QDialog with a busy bar and one button, polling the statement's end.
#include "platform/ServerWait.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace platform {

namespace {

/// The dialog: Esc and the window's close button cancel as the button does, and it closes only when
/// the statement has ended or the cancel has waited its time.
class WaitDialog final : public QDialog {
public:
    WaitDialog(QWidget* parent, const std::function<bool()>& finished, const std::function<void(int)>& stop)
        : QDialog(parent), m_finished(finished), m_stop(stop) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        setWindowModality(Qt::ApplicationModal);
        m_label = new QLabel(QStringLiteral("サーバーの応答を待っています…"), this);
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0); // busy, with no measure of how long
        bar->setTextVisible(false);
        m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_label);
        layout->addWidget(bar);
        layout->addWidget(m_cancel, 0, Qt::AlignRight);
        setMinimumWidth(320);
        connect(m_cancel, &QPushButton::clicked, this, &WaitDialog::cancel);
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, &WaitDialog::check);
        m_poll.start();
    }
    bool cancelled() const { return m_cancelled; }
    void reject() override { cancel(); }

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        cancel();
    }

private:
    void cancel() {
        if (m_cancelled)
            return;
        m_cancelled = true;
        m_sinceCancel.start();
        m_label->setText(QStringLiteral("キャンセルしています…"));
        m_cancel->setEnabled(false);
        m_stop(++m_attempts);
    }
    void check() {
        if (m_finished()) {
            done(m_cancelled ? Rejected : Accepted);
        } else if (m_cancelled) {
            if (m_attempts == 1 && m_sinceCancel.elapsed() >= QtServerWait::kStopWaitMs / 2)
                m_stop(++m_attempts); // the statement did not stop when asked: act more firmly
            else if (m_sinceCancel.elapsed() >= QtServerWait::kStopWaitMs)
                done(Rejected);
        }
    }

    std::function<bool()> m_finished;
    std::function<void(int)> m_stop;
    QLabel* m_label;
    QPushButton* m_cancel;
    QTimer m_poll;
    QElapsedTimer m_sinceCancel;
    bool m_cancelled = false;
    int m_attempts = 0;
};

} // namespace

bool QtServerWait::wait(const std::function<bool()>& finished, const std::function<void(int attempt)>& stop) {
    if (finished())
        return true;
    WaitDialog dialog(QApplication::activeWindow(), finished, stop);
    dialog.setWindowTitle(m_titleFrom.title());
    dialog.exec();
    return !dialog.cancelled();
}

} // namespace platform
