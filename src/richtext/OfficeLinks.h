// OfficeLinks: links carried through LibreOffice with their data strings exactly as stored.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace richtext::officelinks {

/// LibreOffice resolves relative link targets against the file it reads and writes them relative to
/// the file it writes, percent-encoded ("TP_ヒント" → "./TP_%E3…", "C:\docs" → "../C:/docs"). So every
/// link target is replaced by a unique absolute placeholder before the conversion, and the
/// placeholders are replaced by the stored targets in the file LibreOffice wrote.
struct Map {
    QVector<QString> placeholders;
    QVector<QString> targets;
};

/// Replaces the href of every <a> of html by a placeholder (targets starting with "#" pass as they
/// are: LibreOffice keeps them as bookmark links). With wideForDoc the placeholders are as long as
/// the Word field text of their target, so that a .doc can be mended in place.
QString map(const QString& html, Map& links, bool wideForDoc);

/// The Word field argument of a target: "target" with \ and " escaped.
QString fieldArgument(const QString& target);

/// Puts the targets into a .docx (its relationships). False when the file is not a readable package.
bool mendDocx(const QString& file, const Map& links);
/// Puts the targets into RTF text (the HYPERLINK field instructions, quoted as Word quotes field
/// arguments, as in a .doc).
QByteArray mendRtf(const QByteArray& rtf, const Map& links);
/// Puts the targets into a .doc in place (field text and hyperlink data, same lengths). False when a
/// placeholder is not found exactly once in the field text.
bool mendDoc(QByteArray& doc, const Map& links);

} // namespace richtext::officelinks
