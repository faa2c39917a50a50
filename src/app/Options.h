// Options: the command line's options for scripts (--find, --export, --help, --version), which run
// without a window, and the usage text.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

namespace app {

/// What a command line that starts with an option asks for.
struct OptionRequest {
    enum class Kind {
        None,    // no option: the ordinary command line (database path and page number)
        Help,    // --help, -h
        Version, // --version
        Find,    // --find WORDS PATH
        Export,  // --export PAGE OUT PATH
        Error,   // an option used wrongly; error holds the reason
    };
    Kind kind = Kind::None;
    QString words; // --find: the words, exactly as given
    QString path;  // --find, --export: the database
    qint32 page = 0; // --export: the page whose branch is exported, 0 for the whole database
    QString out;     // --export: the file written
    QString error;
};

/// Reads the arguments (without the program). Only a first argument that is one of the options
/// (and names no existing file) is an option; anything else is the ordinary command line, unchanged.
OptionRequest parseOptions(const QStringList& arguments);

/// The usage text of --help.
QString usageText(const QString& program);

/// The program's version ("dbtext 0.1.0").
QString versionText(const QString& program);

/// Carries out an option request that is not Kind::None, writing UTF-8 to out and err, and returns
/// the exit code: 0 done (also a find without results), 1 the database could not be read (or the
/// export not written), 2 a wrong command line or a path that is not a document database. Opens no
/// window and writes no file but the export's (and the find index). --export needs a QGuiApplication.
int runOptions(const OptionRequest& request, const QString& program, std::FILE* out, std::FILE* err);

} // namespace app
