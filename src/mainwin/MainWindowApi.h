// MainWindowApi: what the start-up and end procedures need of the main window.
#pragma once

#include <QString>

namespace mainwin {

/// The main window as start-up sees it: activated once with the database path and the start
/// page text, unloaded by the end procedure.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    /// Activates and shows the window; sDb may be empty (no database), sNo the start page text.
    virtual void Act(const QString& sDb, const QString& sNo) = 0;
    /// Handle of a top-level window of the program (owner of the shell calls).
    virtual quintptr ownerHandle() const = 0;
    /// Unloads the window (closes it without asking).
    virtual void unload() = 0;
};

} // namespace mainwin
