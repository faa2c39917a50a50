// FakeFileDialog: answers from a queue and records what was asked.
#pragma once

#include "platform/FileDialog.h"

#include <QQueue>
#include <QStringList>

namespace testsupport {

class FakeFileDialog final : public platform::IFileDialog {
public:
    QString open(const QString& title, const QString& filter, QWidget*, const QString& start) override {
        return ask(title, filter, false, start);
    }
    QString save(const QString& title, const QString& filter, QWidget*, const QString& start,
                 int* chosenFilter) override {
        if (chosenFilter)
            *chosenFilter = filterChosen;
        return ask(title, filter, true, start);
    }

    struct Call {
        QString title, filter;
        bool save = false;
        QString start;
    };
    QList<Call> calls;
    QQueue<QString> answers; // an empty queue answers "" (cancel)
    int filterChosen = 0;    // the filter entry a save dialog reports as chosen

private:
    QString ask(const QString& title, const QString& filter, bool save, const QString& start) {
        calls.push_back({title, filter, save, start});
        return answers.isEmpty() ? QString() : answers.dequeue();
    }
};

} // namespace testsupport
