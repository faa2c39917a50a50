// Options: the command line for scripts.
#include "app/Options.h"

#include "docdb/zSvr.h"
#include "book/BookExport.h"
#include "find/FindIndex.h"
#include "find/PageFind.h"
#include "platform/MessageBox.h"
#include "util/zClt.h"

#include <QFileInfo>

#include <unistd.h>

namespace app {

namespace {

void write(std::FILE* f, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fflush(f);
}

/// The database session's messages, written to the error stream instead of a window.
/// A title on one output line, written as text only: tabs and line breaks would split the line, and
/// the other control characters (escape sequences, the bell, NUL) would act on the user's terminal.
/// All of them are written as blanks.
QString oneLine(QString title) {
    for (QChar& c : title)
        if (c.category() == QChar::Other_Control || c == QChar(0x2028) || c == QChar(0x2029))
            c = QLatin1Char(' ');
    return title;
}

class StreamMessages final : public platform::IMessageBox {
public:
    StreamMessages(std::FILE* err, const QString& program) : m_err(err), m_title(program) {}
    platform::MsgAnswer show(const QString& text, platform::MsgButtons buttons) override {
        write(m_err, m_title + QStringLiteral(": ") + oneLine(text) + QLatin1Char('\n')); // text only
        shown = true;
        return buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::No : platform::MsgAnswer::Cancel;
    }
    QString title() const override { return m_title; }
    void setTitle(const QString& title) override { m_title = title; }
    bool shown = false;

private:
    std::FILE* m_err;
    QString m_title;
};

/// Opens the database an option names; false, with the reason written, when it is missing or is no
/// document database (exit code 2).
bool openFor(const QString& path, const QString& program, std::FILE* err, const util::zClt& files,
             const StreamMessages& messages, docdb::zSvr& svr) {
    if (!files.FbExFile(path)) {
        write(err, program + QStringLiteral(": ") + path + QStringLiteral(" が見つかりません\n"));
        return false;
    }
    bool ok = false;
    svr.D_StDcDb(path, ok);
    if (!ok && !messages.shown)
        write(err, program + QStringLiteral(": ") + path + QStringLiteral(" は文書DBではありません\n"));
    return ok;
}

int find(const OptionRequest& r, const QString& program, std::FILE* out, std::FILE* err) {
    const util::zClt files;
    StreamMessages messages(err, program);
    docdb::zSvr svr(messages, files);
    if (!openFor(r.path, program, err, files, messages, svr))
        return 2;
    // Through the find index (built first when it is missing or stale), else by the statement.
    bool read = false;
    QVector<find::FoundPage> pages;
    std::optional<QVector<find::FoundPage>> indexed;
    if (const QString file = svr.databaseFile(); !file.isEmpty()) {
        const std::atomic_bool never{false};
        QString error;
        bool timedOut = false;
        if (!find::findindex::isCurrent(file)) {
            if (find::findindex::build(file, never, {}, error, &timedOut)) {
                find::findindex::verifyWhole(file); // read back once, for the finds of later processes
            } else if (timedOut) {
                // The pages could not be read within the time-out: the statement would wait as long again.
                write(err, program + QStringLiteral(": 検索できませんでした (") + oneLine(error) + QStringLiteral(")\n"));
                return 1;
            }
        }
        indexed = find::findindex::find(file, r.words, never);
    }
    if (indexed) {
        read = true;
        pages = *indexed;
    } else {
        pages = find::findPages(svr, r.words, &read);
    }
    if (!read) {
        write(err,
              program + QStringLiteral(": 検索できませんでした (") + oneLine(svr.lastError()) + QStringLiteral(")\n"));
        return 1;
    }
    QString lines;
    for (const find::FoundPage& p : pages)
        lines += QString::number(p.no) + QLatin1Char('\t') + oneLine(p.title) + QLatin1Char('\n');
    write(out, lines);
    return 0;
}

int exportBook(const OptionRequest& r, const QString& program, std::FILE* err) {
    const util::zClt files;
    StreamMessages messages(err, program);
    docdb::zSvr svr(messages, files);
    if (!openFor(r.path, program, err, files, messages, svr))
        return 2;
    book::Branch branch;
    QString error;
    bool noSuchPage = false;
    if (!book::readBranch(svr, r.page, false, branch, error, &noSuchPage)) {
        write(err, program + QStringLiteral(": ") + oneLine(error) + QLatin1Char('\n'));
        return noSuchPage ? 2 : 1;
    }
    // Progress on a terminal only: a script's log gets nothing but errors.
    const bool terminal = isatty(fileno(err)) != 0;
    const book::Progress progress = [&](int done, int total) {
        if (terminal)
            write(err, QStringLiteral("\r%1 / %2 ページ").arg(done).arg(total));
        return true;
    };
    const bool written = book::writeBook(svr, branch, r.out, progress, error);
    if (terminal)
        write(err, QStringLiteral("\n"));
    if (!written) {
        write(err, program + QStringLiteral(": ") + oneLine(error) + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

} // namespace

OptionRequest parseOptions(const QStringList& arguments) {
    OptionRequest r;
    if (arguments.isEmpty())
        return r;
    const QString first = arguments.first();
    if (!first.contains(QChar(0)) && QFileInfo::exists(first)) // (no file name holds a NUL)
        return r;                                              // a file of that name is a database path
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        r.kind = OptionRequest::Kind::Help;
    } else if (first == QLatin1String("--version")) {
        r.kind = OptionRequest::Kind::Version;
    } else if (first == QLatin1String("--export")) {
        const QStringList rest = arguments.mid(1);
        r.kind = OptionRequest::Kind::Error;
        bool whole = false;
        const qint32 page = rest.value(0).toInt(&whole);
        if (rest.size() != 3)
            r.error = QStringLiteral("--export にはページ番号、書き出すファイルとデータベースを指定して下さい");
        else if (!whole || page < 0)
            r.error = QStringLiteral("ページ番号は 0 (データベース全体) 以上の整数で指定して下さい");
        else if (book::bookKind(rest[1]) == 0)
            r.error = QStringLiteral("書き出すファイルの拡張子は .pdf .htm .html のどれかにして下さい");
        if (!r.error.isEmpty())
            return r;
        r.kind = OptionRequest::Kind::Export;
        r.page = page;
        r.out = rest[1];
        r.path = rest[2];
        return r;
    } else if (first == QLatin1String("--find") || first.startsWith(QLatin1String("--find="))) {
        QStringList rest = arguments.mid(1);
        if (first != QLatin1String("--find"))
            rest.prepend(first.mid(7));
        if (rest.size() != 2) {
            r.kind = OptionRequest::Kind::Error;
            r.error = QStringLiteral("--find には検索語とデータベースを一つずつ指定して下さい");
            return r;
        }
        r.kind = OptionRequest::Kind::Find;
        r.words = rest[0];
        r.path = rest[1];
        return r;
    } else {
        return r; // not an option: the ordinary command line, which drops a path that names no file
    }
    if (arguments.size() > 1) {
        r.kind = OptionRequest::Kind::Error;
        r.error = first + QStringLiteral(" には引数を付けません");
    }
    return r;
}

QString usageText(const QString& program) {
    return QStringLiteral(
               "使い方:\n"
               "  %1 [データベース [ページ番号]]\n"
               "      データベース (.txdb, .mdb, .udl) を開き、ページ番号のページを選びます。\n"
               "      空白を含むパスは二重引用符で囲みます。\n"
               "  %1 --find \"検索語\" データベース\n"
               "      検索タブと同じ検索をし、見つかったページを題名順に一行ずつ\n"
               "      \"ページ番号<タブ>題名\" (UTF-8) で書き出します。ウィンドウは開きません。\n"
               "      検索語は空白で区切り、% は任意の文字列、_ は任意の一文字です。\n"
               "      題名の中のタブ、改行などの制御文字は空白にして書き出します。\n"
               "  %1 --export ページ番号 出力ファイル データベース\n"
               "      ページ番号のページとその下のすべてを一つの PDF (.pdf) か HTML (.html, .htm)\n"
               "      に書き出します。ページ番号 0 はデータベース全体です。ウィンドウは開きません。\n"
               "  %1 --help      この説明を表示します。\n"
               "  %1 --version   版を表示します。\n"
               "終了コード: 0 成功 (該当なしを含む)、1 読み出しの失敗、2 引数の誤りまたは文書DBでないファイル\n")
        .arg(program);
}

QString versionText(const QString& program) {
    return program + QLatin1Char(' ') + QStringLiteral(DBTEXT_VERSION);
}

int runOptions(const OptionRequest& request, const QString& program, std::FILE* out, std::FILE* err) {
    switch (request.kind) {
    case OptionRequest::Kind::Help:
        write(out, usageText(program));
        return 0;
    case OptionRequest::Kind::Version:
        write(out, versionText(program) + QLatin1Char('\n'));
        return 0;
    case OptionRequest::Kind::Find:
        return find(request, program, out, err);
    case OptionRequest::Kind::Export:
        return exportBook(request, program, err);
    case OptionRequest::Kind::Error:
        write(err, program + QStringLiteral(": ") + request.error + QLatin1Char('\n') + usageText(program));
        return 2;
    case OptionRequest::Kind::None:
        break;
    }
    return 2;
}

} // namespace app
