// Fuzz target: the command line. Property: a database path and a page number given as the system
// passes arguments come back from the rebuilt argument text as they were (the path without blanks at
// its ends, as the parser trims it); the options parser never takes anything but its own options.
#include "FuzzCheck.h"
#include "app/Options.h"
#include "app/Usr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzzcheck::bytes(data, size));
    QString path, page;
    app::parseCommandLine(text, path, page); // any text: no crash
    const QStringList lines = text.split(QLatin1Char('\n'));
    QString givenPath = lines.value(0);
    givenPath.remove(QLatin1Char('"'));
    givenPath = givenPath.trimmed();
    const QString givenPage = QString::number(lines.value(1).size());
    if (!givenPath.isEmpty() && !givenPath.contains(QLatin1Char('\r'))) {
        app::parseCommandLine(app::commandLineOf({givenPath, givenPage}), path, page);
        // An unquoted path is cut at its first blank, as the parser's rule says; a quoted one is whole.
        fuzzcheck::check(path == givenPath, "the path comes back", givenPath + QStringLiteral(" → ") + path);
        fuzzcheck::check(page == givenPage, "the page comes back", givenPage + QStringLiteral(" → ") + page);
    }
    const app::OptionRequest r = app::parseOptions(lines);
    if (r.kind != app::OptionRequest::Kind::None) {
        const QString first = lines.first();
        fuzzcheck::check(first == QLatin1String("--help") || first == QLatin1String("-h") ||
                             first == QLatin1String("--version") || first.startsWith(QLatin1String("--find")),
                         "only the known options are options", first);
    }
    return 0;
}
