// MessageBox: the message-box service (text, the application's title, OK / OK-Cancel / Yes-No).
#pragma once

#include <QString>

namespace platform {

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

/// Shows a modal message with the application's title. Tests replace it with a fake that
/// records the texts and answers from a queue.
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual MsgAnswer show(const QString& text, MsgButtons buttons = MsgButtons::Ok) = 0;
    virtual QString title() const = 0;
    virtual void setTitle(const QString& title) = 0;
};

} // namespace platform
