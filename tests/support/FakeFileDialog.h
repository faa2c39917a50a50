// FakeFileDialog: answers from a queue and records what was asked.
#pragma once

#include "platform/FileDialog.h"

#include <QQueue>
#include <QStringList>

namespace testsupport {

class FakeFileDialog final : public platform::IFileDialog {
public:
    QString open(const QString& title, const QString& filter, QWidget*) override { return ask(title, filter, false); }
    QString save(const QString& title, const QString& filter, QWidget*) override { return ask(title, filter, true); }

    struct Call {
        QString title, filter;
        bool save = false;
    };
    QList<Call> calls;
    QQueue<QString> answers; // an empty queue answers "" (cancel)

private:
    QString ask(const QString& title, const QString& filter, bool save) {
        calls.push_back({title, filter, save});
        return answers.isEmpty() ? QString() : answers.dequeue();
    }
};

} // namespace testsupport
