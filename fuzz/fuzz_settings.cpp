// Fuzz target: the settings document. The input is a User.xml (taken as it is, and again with LF line
// ends, as Unix editors save it); the program reads the position group, sets its values and saves, as
// 終了 does. A reader of the target's own, independent of the program's text splicing, checks: when
// the save writes the file, the written document is well formed, holds the position group once with
// each of its keys once and as set, and every other group exactly as it was, in its order; when it
// does not write, the file is untouched.
#include "FuzzCheck.h"
#include "platform/TextCodec.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"

#include <QFile>
#include <QTemporaryDir>

#include <optional>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Element {
    QString name, body; // body: the exact text between the start and the end tag
    QList<Element> children;
};

/// The document's root element with its groups and their keys, read by tags alone; nothing when it
/// is not a well-formed document of the root, groups and keys (a missing root end is allowed).
std::optional<Element> readDocument(const QString& text) {
    struct Open {
        Element e;
        qsizetype bodyFrom;
    };
    QList<Open> stack;
    std::optional<Element> root;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype lt = text.indexOf(QLatin1Char('<'), i);
        if (lt < 0)
            break;
        const qsizetype gt = text.indexOf(QLatin1Char('>'), lt);
        if (gt < 0)
            return std::nullopt;
        if (text.at(lt + 1) == QLatin1Char('?')) {
            i = gt + 1;
            continue;
        }
        const bool closing = text.at(lt + 1) == QLatin1Char('/');
        const QString name = text.mid(lt + (closing ? 2 : 1), gt - lt - (closing ? 2 : 1));
        if (!closing) {
            if (stack.size() == 3 || (stack.isEmpty() && root))
                return std::nullopt;
            stack.append({{name, {}, {}}, gt + 1});
        } else {
            if (stack.isEmpty() || stack.last().e.name != name)
                return std::nullopt;
            Open o = stack.takeLast();
            o.e.body = text.mid(o.bodyFrom, lt - o.bodyFrom);
            if (stack.isEmpty())
                root = o.e;
            else
                stack.last().e.children.append(o.e);
        }
        i = gt + 1;
    }
    if (stack.size() == 1 && !root) // the root's end missing
        root = stack.first().e;
    else if (!stack.isEmpty())
        return std::nullopt;
    if (!root || root->name != QStringLiteral("運用"))
        return std::nullopt;
    return root;
}

void checkOne(const QByteArray& in) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("User.xml"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(in);
    }
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    settings::yIni ini(messages, folders, appSettings, shell);
    bool ok = false;
    ini.GetTxt(path, ok);
    const std::optional<Element> before = readDocument(ini.documentText());
    ini.GetGtx(QStringLiteral("位置"));
    const int values[] = {1440, 720, 9600, 7200, 3, 1};
    const char* keys[] = {"Left", "Top", "Width", "Height", "Zoom", "Trvw"};
    for (int i = 0; i < 6; ++i)
        ini.SetVal(QString::fromLatin1(keys[i]), values[i]);
    ini.SetGtx();
    bool written = false;
    ini.SetTxt(written);
    if (!written) {
        fuzzcheck::check(readAll(path) == in, "a document that is not written stays as it was");
        return;
    }
    const QString out = platform::TextCodec::fromAnsi(readAll(path));
    const std::optional<Element> after = readDocument(out);
    fuzzcheck::check(after.has_value(), "the written document is well formed", out);
    QList<Element> others;
    int positions = 0;
    for (const Element& g : after->children) {
        if (g.name != QStringLiteral("位置")) {
            others << g;
            continue;
        }
        ++positions;
        for (int i = 0; i < 6; ++i) {
            int found = 0;
            for (const Element& k : g.children)
                if (k.name == QLatin1String(keys[i])) {
                    ++found;
                    fuzzcheck::check(k.body == QString::number(values[i]), "the position reads back as set", out);
                }
            fuzzcheck::check(found == 1, "each key of the position once", out);
        }
    }
    fuzzcheck::check(positions == 1, "the position group once", out);
    fuzzcheck::check(before.has_value(), "only a well-formed document is written", ini.documentText());
    QList<Element> kept;
    for (const Element& g : before->children)
        if (g.name != QStringLiteral("位置"))
            kept << g;
    fuzzcheck::check(kept.size() == others.size(), "every other group kept", out);
    for (qsizetype g = 0; g < kept.size(); ++g)
        fuzzcheck::check(kept[g].name == others[g].name && kept[g].body == others[g].body,
                         "every other group keeps its body, in its order", kept[g].name + QStringLiteral("\n") + out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray in = fuzzcheck::bytes(data, size);
    checkOne(in);
    if (in.contains("\r\n")) {
        QByteArray lf = in;
        checkOne(lf.replace("\r\n", "\n"));
    }
    return 0;
}
