// ServerWait: what the window shows while a database server has not answered yet.
#pragma once

#include <QString>

#include <functional>

namespace platform {

class IMessageBox;

/// Waits, with the window still painting, for a statement that a server has not answered within half a
/// second. Tests replace it or drive the real dialog.
class IServerWait {
public:
    virtual ~IServerWait() = default;
    /// Shows "サーバーの応答を待っています…" with "キャンセル", modal, until finished() is true (asked every
    /// few milliseconds). キャンセル (or Esc, or closing the window) calls stop() and then waits a little
    /// while for finished(): stop() is called once more when it is still false at half that time (the
    /// caller can then act more firmly). Returns true when it finished, false when the user cancelled.
    virtual bool wait(const std::function<bool()>& finished, const std::function<void(int attempt)>& stop) = 0;
};

/// The wait as a small modal dialog with the program's title (the message box's).
class QtServerWait final : public IServerWait {
public:
    explicit QtServerWait(const IMessageBox& titleFrom) : m_titleFrom(titleFrom) {}
    bool wait(const std::function<bool()>& finished, const std::function<void(int attempt)>& stop) override;

    static constexpr int kStopWaitMs = 800; // how long a cancel waits for the statement to end

private:
    const IMessageBox& m_titleFrom;
};

} // namespace platform
