// FakeMessageBox: records every message and answers from a queue.
#pragma once

#include "platform/MessageBox.h"

#include <QQueue>
#include <QStringList>

#include <functional>

namespace testsupport {

class FakeMessageBox final : public platform::IMessageBox {
public:
    platform::MsgAnswer show(const QString& text, platform::MsgButtons buttons) override {
        texts << text;
        if (onShow)
            onShow(text);
        lastButtons = buttons;
        if (!answers.isEmpty())
            return answers.dequeue();
        return buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::Yes : platform::MsgAnswer::Ok;
    }
    QString title() const override { return m_title; }
    void setTitle(const QString& t) override { m_title = t; }

    QStringList texts;
    QQueue<platform::MsgAnswer> answers;
    std::function<void(const QString&)> onShow; // what a test looks at while a message is up
    platform::MsgButtons lastButtons = platform::MsgButtons::Ok;

private:
    QString m_title = QStringLiteral("DB Text");
};

} // namespace testsupport
