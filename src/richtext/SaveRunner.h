// SaveRunner: a save that runs in the background while the window goes on, with a cancellable progress.
#pragma once

#include "richtext/PageSource.h"

#include <QString>

class QWidget;

namespace richtext {

/// Saves src to file in format (docio::saveFile) on a worker thread and waits for it without
/// freezing owner's window: the first half second with user input held back, then with a
/// window-modal progress window ("saveProgress") whose "キャンセル" stops the save. Returns the
/// save's result, reason and notice.
bool saveInBackground(QWidget* owner, const PageSource& src, const QString& file, int format, const QString& workFolder,
                      QString& reason, QString& notice);

} // namespace richtext
