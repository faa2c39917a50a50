// QtMessageBox: the message-box service on QMessageBox.
#pragma once

#include "platform/MessageBox.h"

class QWidget;

namespace platform {

/// Message boxes as QMessageBox, parented to the program's active window.
class QtMessageBox final : public IMessageBox {
public:
    explicit QtMessageBox(QString title = QStringLiteral("DB Text")) : m_title(std::move(title)) {}
    MsgAnswer show(const QString& text, MsgButtons buttons = MsgButtons::Ok) override;
    QString title() const override { return m_title; }
    void setTitle(const QString& title) override { m_title = title; }

private:
    QString m_title;
};

} // namespace platform
