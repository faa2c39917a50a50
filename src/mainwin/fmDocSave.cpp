// fmDoc: saving the shown page, and the page list of the run-through in the batch display.
#include "mainwin/fmDoc.h"

#include "batchview/sbDmp.h"
#include "book/BookExport.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/uTrX.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "richtext/RichTextView.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProgressDialog>

namespace mainwin {

namespace {

const char16_t kSaveFilter[] = u"ﾜｰﾄﾞ文書 97-2003(*.doc)|*.doc|ﾜｰﾄﾞ文書 (*.docx)|*.docx|ﾘｯﾁﾃｷｽﾄ (*.rtf)|*.rtf|"
                               u"HTML (*.htm;*.html)|*.htm;*.html|ｱｸﾛﾊﾞｯﾄPDF(*.pdf)|*.pdf|"
                               u"ﾃｽｷﾄﾌｧｲﾙ (*.txt)|*.txt|";

} // namespace

int fmDoc::saveFormat(const QString& fileName) {
    const QString name = util::fileNamePart(fileName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    static const QHash<QString, int> formats = {{QStringLiteral("rtf"), 5},  {QStringLiteral("txt"), 1},
                                                {QStringLiteral("doc"), 9},  {QStringLiteral("docx"), 13},
                                                {QStringLiteral("pdf"), 12}, {QStringLiteral("htm"), 4},
                                                {QStringLiteral("html"), 4}};
    return formats.value(ext, 0);
}

QString fmDoc::dialogStart(const QString& name) const {
    // The last folder a dialog was left in, else the open database's.
    QString folder = m_lastFolder;
    if (folder.isEmpty() && !m_dbPath.isEmpty())
        folder = QFileInfo(m_dbPath).absolutePath();
    if (name.isEmpty())
        return folder;
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

void fmDoc::noteFolder(const QString& chosen) {
    if (!chosen.isEmpty())
        m_lastFolder = QFileInfo(chosen).absolutePath();
}

void fmDoc::SaveDoc() {
    const QString filter = QString::fromUtf16(kSaveFilter);
    int chosen = 0;
    // The title with the first type's extension: a dot in a title ("0.1 版") is then no extension
    // that the dialog would take for the type's and replace.
    const QString proposed =
        m_shownTitle.trimmed().isEmpty() ? QString() : safeFileName(m_shownTitle.trimmed()) + QStringLiteral(".doc");
    QString name = m_s.fileDialog.save(QStringLiteral("文書の保存"), filter, this, dialogStart(proposed), &chosen);
    if (name.isEmpty())
        return;
    noteFolder(name);
    // A bare name gets the extension of the type chosen in the dialog (the first, Word 97-2003, when
    // none was); a dot in a folder's name is no extension.
    if (!util::fileNamePart(name).contains(QLatin1Char('.'))) {
        const QStringList parts = filter.split(QLatin1Char('|'));
        QString pattern = parts.value(2 * chosen + 1).section(QLatin1Char(';'), 0, 0);
        if (!pattern.startsWith(QLatin1String("*.")))
            pattern = QStringLiteral("*.doc");
        name += pattern.mid(1);
    }
    const int format = saveFormat(name);
    if (format == 0) {
        // Nothing is written in a form the name does not say: the user is told, and chooses again.
        m_s.messages.show(util::fileNamePart(name) +
                          QStringLiteral(" は保存できません。拡張子は .doc .docx .rtf .htm .html .pdf .txt のどれかにして下さい"));
        return;
    }
    // The view writes the new file completely before it replaces an existing one, in the background
    // with progress for the slow formats.
    if (!m_txDc->saveToFile(name, 0, format)) {
        m_s.messages.show(name + QStringLiteral(" を保存できませんでした") + QLatin1Char('\r') + m_txDc->reason());
        return;
    }
    showNote(QStringLiteral("保存しました: ") + name);
    if (!m_txDc->notice().isEmpty()) {
        showNote(m_txDc->notice());
        m_s.messages.show(m_txDc->notice());
    }
}

void fmDoc::ExportBranch() {
    const QString key = m_tree->SlctdKy();
    const std::optional<qint32> no = util::pageNumber(key.section(QLatin1Char('-'), 1));
    if (key.isEmpty() || !no) {
        m_s.messages.show(QStringLiteral("ｱｲﾃﾑがありません"));
        return;
    }
    book::Branch branch, everything;
    QString error;
    if (!book::readBranch(m_s.svr, *no, false, branch, error)) {
        m_s.messages.show(error);
        return;
    }
    // Pages left out of the run-through: asked about only when the branch has some.
    if (book::readBranch(m_s.svr, *no, true, everything, error) && everything.entries.size() != branch.entries.size() &&
        m_s.messages.show(QStringLiteral("通し表示から外したﾍﾟｰｼﾞも書き出しますか?"), platform::MsgButtons::YesNo) ==
            platform::MsgAnswer::Yes)
        branch = everything;
    int chosen = 0;
    QString name = m_s.fileDialog.save(QStringLiteral("ﾍﾟｰｼﾞ以下を書き出す"),
                                       QStringLiteral("PDF (*.pdf)|*.pdf|HTML (*.html;*.htm)|*.html;*.htm|"), this,
                                       dialogStart(safeFileName(branch.title) + QStringLiteral(".pdf")), &chosen);
    if (name.isEmpty())
        return;
    noteFolder(name);
    if (!util::fileNamePart(name).contains(QLatin1Char('.')))
        name += chosen == 1 ? QStringLiteral(".html") : QStringLiteral(".pdf"); // the type chosen
    if (book::bookKind(name) == 0) {
        m_s.messages.show(util::fileNamePart(name) +
                          QStringLiteral(" は書き出せません。拡張子は .pdf .htm .html のどれかにして下さい"));
        return;
    }
    // Page by page, the window painting meanwhile; キャンセル stops it and leaves no file.
    QProgressDialog progress(QStringLiteral("書き出しています..."), QStringLiteral("キャンセル"), 0,
                             int(branch.pages.size()), this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0); // modal at once: the window takes no command while the export reads
    progress.show();
    const bool written = book::writeBook(
        m_s.svr, branch, name,
        [&progress](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            progress.setLabelText(QStringLiteral("書き出しています... %1 / %2 ﾍﾟｰｼﾞ").arg(done).arg(total));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        },
        error);
    const bool cancelled = progress.wasCanceled();
    progress.reset();
    if (written)
        showNote(QStringLiteral("書き出しました: ") + name);
    else if (cancelled)
        showNote(QStringLiteral("書き出しを中止しました"));
    else
        m_s.messages.show(name + QStringLiteral(" を書き出せませんでした") + QLatin1Char('\r') + error);
}

void fmDoc::RunPages(int mode) {
    m_runMode = mode;
    QString list;
    if (m_runMode != 0 && m_tree->SlctdKy().isEmpty()) {
        PageList(list); // says "ｱｲﾃﾑがありません": never under the busy pointer
        return;
    }
    m_s.screen.setBusy(true); // one read per page listed
    PageList(list);
    m_s.screen.setBusy(false);
    if (list.isEmpty())
        return;
    if (!m_dmp) // one window, made when first used
        m_dmp = new batchview::sbDmp(batchview::Services{m_s.messages, m_s.screen, m_s.ini, m_s.svr}, this);
    qint32 no = 0;
    m_dmp->ActP(list, no);
    if (no > 0)
        m_tree->SetLeaf(QString::number(no));
}

void fmDoc::AddPages(const QString& parent, QString& list, qint32& count) {
    const std::optional<qint32> no = util::pageNumber(parent);
    if (!no)
        return;
    docdb::RowArray rows;
    qint32 n = 0;
    m_s.svr.R_Ary(docdb::sql::kRunSelect + docdb::sql::kRunWhere + QString::number(*no) + docdb::sql::kRunHide +
                      docdb::sql::kRunOrder,
                  rows, n);
    for (int r = 0; r < n; ++r) {
        const std::optional<qint32> child = util::pageNumber(rows(0, r));
        if (!child)
            continue; // no page number: no page
        const QString c = QString::number(*child);
        list += QString::number(*no) + QLatin1Char('-') + c + QLatin1Char(',');
        ++count; // 32-bit: lists of any length
        if (count < 100 && m_runMode != 1)
            AddPages(c, list, count);
    }
}

void fmDoc::PageList(QString& list) {
    list.clear();
    QString parent = QStringLiteral("0"), page = QStringLiteral("0");
    if (m_runMode != 0) {
        const QString key = m_tree->SlctdKy();
        if (key.isEmpty()) {
            m_s.messages.show(QStringLiteral("ｱｲﾃﾑがありません"));
            return;
        }
        page = key.mid(key.lastIndexOf(QLatin1Char('-')) + 1);
        m_tree->GetPrCdNo(parent);
    }
    QString pages;
    qint32 count = 0;
    AddPages(page, pages, count);
    QString comma = QStringLiteral(",");
    util::zClt::T_DelRwd(pages, comma);
    while (pages.endsWith(QLatin1Char(',')))
        pages.chop(1);
    list = parent + QLatin1Char('-') + page + (pages.isEmpty() ? QString() : QLatin1Char(',') + pages);
}

} // namespace mainwin
