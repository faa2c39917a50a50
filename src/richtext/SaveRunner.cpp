// SaveRunner: worker thread, event loop and progress window of a save.
#include "richtext/SaveRunner.h"

#include "richtext/DocumentIo.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <memory>

namespace richtext {

bool saveInBackground(QWidget* owner, const PageSource& src, const QString& file, int format, const QString& workFolder,
                      QString& reason, QString& notice) {
    SaveControl control;
    bool ok = false;
    QString why;
    QString told;
    // The worker takes its own copies: the view may be given another page while the save runs.
    std::unique_ptr<QThread> worker(QThread::create([&, src, file, format, workFolder] {
        ok = docio::saveFile(src, file, format, workFolder, why, told, &control);
    }));
    QEventLoop loop;
    bool finished = false; // set on this thread when the worker's end has been delivered here
    QObject::connect(worker.get(), &QThread::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QApplication::setOverrideCursor(Qt::BusyCursor);
    worker->start();

    // Most saves end within half a second: wait for them with input held back, and show nothing.
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, &loop, &QEventLoop::quit);
    patience.start(500);
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (!finished) {
        // On the heap, watched: its window may be closed (and take it along) while the save runs.
        QPointer<QProgressDialog> progress = new QProgressDialog(owner ? owner->window() : nullptr);
        progress->setObjectName(QStringLiteral("saveProgress"));
        progress->setWindowTitle(QApplication::applicationDisplayName());
        progress->setWindowModality(Qt::WindowModal);
        progress->setLabelText(QStringLiteral("%1 を保存しています…").arg(file));
        progress->setCancelButtonText(QStringLiteral("キャンセル"));
        progress->setAutoClose(false);
        progress->setAutoReset(false);
        progress->setMinimumDuration(0);
        progress->setRange(0, 0); // busy until the number of pages is known
        QObject::connect(progress, &QProgressDialog::canceled, progress, [&control, progress] {
            control.cancelled = true;
            progress->setLabelText(QStringLiteral("保存を中止しています…"));
        });
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&control, progress] {
            if (const int total = control.total; progress && total > 0 && !control.cancelled) {
                progress->setRange(0, total);
                progress->setValue(std::min<int>(control.done, total - 1));
            }
        });
        ticks.start(100);
        progress->show();
        if (!finished)
            loop.exec();
        ticks.stop();
        delete progress;
    }
    worker->wait();
    QApplication::restoreOverrideCursor();
    reason = why;
    notice = told;
    return ok;
}

} // namespace richtext
