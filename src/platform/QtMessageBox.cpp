// QtMessageBox: modal QMessageBox with the program's title and the requested buttons.
#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

MsgAnswer QtMessageBox::show(const QString& text, MsgButtons buttons) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(m_title);
    box.setText(text);
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return buttons == MsgButtons::OkCancel && box.clickedButton() == nullptr ? MsgAnswer::Cancel : MsgAnswer::Ok;
    }
}

} // namespace platform
