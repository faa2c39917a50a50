// FileDialog: the common file dialog (open or save, title, the system's filter text).
#pragma once

#include <QString>

class QWidget;

namespace platform {

/// Shows an open or save dialog. The filter is the system's form, "desc|*.ext|desc|*.a;*.b|", and
/// its first entry is selected. `start` is the folder the dialog opens in, or a path whose folder it
/// opens in with its name proposed (empty: the dialog's own choice). A save dialog reports the filter
/// entry the user had chosen (0 for the first) in `chosenFilter`. Returns the chosen path, or "" when
/// the user cancels.
class IFileDialog {
public:
    virtual ~IFileDialog() = default;
    virtual QString open(const QString& title, const QString& filter, QWidget* parent = nullptr,
                         const QString& start = QString()) = 0;
    virtual QString save(const QString& title, const QString& filter, QWidget* parent = nullptr,
                         const QString& start = QString(), int* chosenFilter = nullptr) = 0;
};

/// The system's filter text as Qt's ("desc (*.a *.b);;…"); descriptions keep their text, and the
/// patterns inside their parentheses are separated by blanks as Qt reads them.
QString qtFilter(const QString& systemFilter);

/// QFileDialog; the read-only box is not offered, and choosing an existing file to save over does not
/// ask (the reader replaces it, as the save command says).
class QtFileDialog final : public IFileDialog {
public:
    QString open(const QString& title, const QString& filter, QWidget* parent = nullptr,
                 const QString& start = QString()) override;
    QString save(const QString& title, const QString& filter, QWidget* parent = nullptr, const QString& start = QString(),
                 int* chosenFilter = nullptr) override;
};

} // namespace platform
