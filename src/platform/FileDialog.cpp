// FileDialog: filter conversion and the QFileDialog implementation.
#include "platform/FileDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace platform {

QString qtFilter(const QString& systemFilter) {
    const QStringList parts = systemFilter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (desc.isEmpty() && patterns.isEmpty())
            continue;
        const qsizetype open = desc.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && desc.endsWith(QLatin1Char(')')))
            desc = desc.left(open) + QLatin1Char('(') + patterns + QLatin1Char(')');
        else
            desc += QStringLiteral(" (") + patterns + QLatin1Char(')');
        out << desc;
    }
    return out.join(QStringLiteral(";;"));
}

QString QtFileDialog::open(const QString& title, const QString& filter, QWidget* parent, const QString& start) {
    const QString f = qtFilter(filter);
    QString selected = f.section(QStringLiteral(";;"), 0, 0);
    return QFileDialog::getOpenFileName(parent, title, start, f, &selected);
}

QString QtFileDialog::save(const QString& title, const QString& filter, QWidget* parent, const QString& start,
                           int* chosenFilter) {
    const QString f = qtFilter(filter);
    const QStringList entries = f.split(QStringLiteral(";;"));
    QString selected = entries.value(0);
    const QString name =
        QFileDialog::getSaveFileName(parent, title, start, f, &selected, QFileDialog::DontConfirmOverwrite);
    if (chosenFilter)
        *chosenFilter = std::max(0, int(entries.indexOf(selected)));
    return name;
}

} // namespace platform
