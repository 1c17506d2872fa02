// Screenshots of the real windows, for a person to look at (docs/WINDOW.md shows some).
// Runs on a real display (xvfb-run): shows the windows, switches the tabs, runs a job
// and grabs the screen. --dark gives the palette the program takes when the desktop
// prefers dark; under QT_SCALE_FACTOR=2 the names of the pictures for docs/ say "@2x".
// The windows speak the language of the locale, as the program's do.
//   quarvel_screenshots OUTPUT-FOLDER [--dark]

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "ui/about_box.h"
#include "ui/job_summary_window.h"
#include "ui/kit/color_scheme.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/prompts.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/text_codec.h"
#include "ui/kit/translations.h"
#include "ui/main_window.h"
#include "ui/pages/art_edit.h"
#include "ui/preview_window.h"
#include "ui/template_browser.h"

using namespace quarvel::ui;
using quarvel::platform::Color;

namespace {

// The window and, unless `border` is 0, that much of the screen around it.
void Save(QWidget& window, const QString& path, int border = 20) {
    QTest::qWait(300);
    QScreen* screen = window.screen();
    const QRect frame = window.frameGeometry().adjusted(-border, -border, border, border);
    screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
}

// Writes `bytes` to a new file at `path`.
bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The windows as docs/WINDOW.md shows them: the main window with art in its box, the
// summary of a folder job with warnings, the preview and the template collections.
bool ShootForTheDocs(MainWindow& dlg, const QString& out, const QString& suffix) {
    const QString work = out + QStringLiteral("/docs-work");
    QDir(work).removeRecursively();  // the documents of a run before are converted
    QDir().mkpath(work + QStringLiteral("/スレ/過去ログ"));
    QString tall = QStringLiteral("<dd>");
    for (int i = 0; i < 51; ++i) tall += QStringLiteral("（´・ω・｀）%1<br>").arg(i);
    const QString wide = QStringLiteral("<dd>") + QStringLiteral("ｷﾀ━━━(ﾟ∀ﾟ)━━━!!").repeated(20);
    if (!WriteAll(work + QStringLiteral("/スレ/001.htm"),
                  QByteArray::fromStdString(ToCp932(wide + QStringLiteral("\r\n") + tall + QStringLiteral("\r\n")))) ||
        !WriteAll(work + QStringLiteral("/スレ/過去ログ/002.htm"), QByteArrayLiteral("<p>no art</p>\r\n")) ||
        !WriteAll(work + QStringLiteral("/スレ/003.htm"),
                  QByteArray::fromStdString(ToCp932(QStringLiteral("<dd>（　´∀｀）\r\n")))) ||
        !QFile::link(work + QStringLiteral("/スレ/003.htm"), work + QStringLiteral("/スレ/004.htm")))
        return false;

    dlg.tabCtrl()->SetCurFocus(2);
    dlg.copyPastePage().edit()->setPlainText(
        QStringLiteral("　　 ∧＿∧\n　　（　´∀｀）　&hearts;\n　　（　　　　）\n　　｜ ｜　|\n　　（_＿）＿）"));
    // A transparent background: the swatch and the preview show its checkerboard.
    dlg.transparentCheck()->setChecked(true);
    Save(dlg, out + QStringLiteral("/window") + suffix, 0);

    dlg.tabCtrl()->SetCurFocus(1);
    dlg.folderPage().SetTargetFolder(work + QStringLiteral("/スレ"));
    dlg.OnGenerate();
    QTest::qWait(200);
    if (!dlg.jobSummary()) return false;
    Save(*dlg.jobSummary(), out + QStringLiteral("/summary") + suffix, 0);
    dlg.jobSummary()->hide();

    dlg.tabCtrl()->SetCurFocus(2);
    dlg.OnPreview();
    Save(*dlg.preview(), out + QStringLiteral("/preview") + suffix, 0);
    dlg.preview()->hide();

    QString ast;
    const QString pieces[][2] = {
        {QStringLiteral("モナー"),
         QStringLiteral("　　∧＿∧\r\n　（　´∀｀）\r\n　（　　　　）\r\n　｜ ｜　|\r\n　（_＿）＿）")},
        {QStringLiteral("ギコ"), QStringLiteral("　　∧∧\r\n　（,,ﾟДﾟ）\r\n　⊂　　つ\r\n　～|　|\r\n　　し`J")},
        {QStringLiteral("しょぼーん"), QStringLiteral("（´・ω・｀）")},
        {QStringLiteral("ｷﾀ━"), QStringLiteral("ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!")},
    };
    for (const auto& piece : pieces) ast += QStringLiteral("[AA][%1]\r\n%2\r\n").arg(piece[0], piece[1]);
    if (!WriteAll(work + QStringLiteral("/テンプレ.ast"), QByteArray::fromStdString(ToCp932(ast)))) return false;
    dlg.OpenCollection(work + QStringLiteral("/テンプレ.ast"));
    dlg.templates()->resize(460, 560);
    QTest::qWait(300);
    Save(*dlg.templates(), out + QStringLiteral("/browser") + suffix, 0);
    dlg.templates()->hide();
    return true;
}

// Making art in the copy-paste box: a frame whose right edge meets a guide, one line
// filled to it and the rest aligned, the ruler, the status line, and the preview with
// the guide over the picture.
bool ShootArtForTheDocs(MainWindow& dlg, const QString& out, const QString& suffix) {
    dlg.tabCtrl()->SetCurFocus(2);
    ArtEdit* edit = dlg.copyPastePage().artEdit();
    const QString art = QStringLiteral(
        "┌───────────┐\n│　(´・ω・｀)　　│\n│　ｼｮﾎﾞｰﾝ\n│　&hearts; AA\n└───────────┘\n");
    edit->setPlainText(art);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(art.indexOf(QStringLiteral("┐")));
    edit->setTextCursor(cursor);
    edit->ToggleGuideAtCaret();
    const int guide = edit->Guides().front();
    // Lines 3 and 4 filled to the guide and closed; the bar of line 2 moved onto it,
    // and the status line says so.
    for (const QString& line : {QStringLiteral("ｼｮﾎﾞｰﾝ"), QStringLiteral("AA")}) {
        cursor.setPosition(edit->toPlainText().indexOf(line) + static_cast<int>(line.size()));
        edit->setTextCursor(cursor);
        edit->FillGapTo(guide);
        edit->insertPlainText(QStringLiteral("│"));
    }
    const QString filled = edit->toPlainText();
    cursor.setPosition(filled.indexOf(QStringLiteral("│"), filled.indexOf(QStringLiteral("｀"))));
    edit->setTextCursor(cursor);
    dlg.copyPastePage().ShowFilled(edit->FillGapTo(guide), false);
    edit->setFocus();
    Save(dlg, out + QStringLiteral("/art") + suffix, 0);
    dlg.OnPreview();
    dlg.preview()->SetZoom(2);
    dlg.preview()->resize(500, 300);
    Save(*dlg.preview(), out + QStringLiteral("/art-preview") + suffix, 0);
    dlg.preview()->hide();
    return edit->Guides().size() == 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InstallTranslations(app, quarvel::platform::LocaleLanguage(), QStringLiteral(QUARVEL_TRANSLATIONS_BUILD_DIR));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool dark = argc > 2 && QByteArray(argv[2]) == "--dark";
    if (dark) QApplication::setPalette(DarkPalette());
    QDir().mkpath(out);
    const QString suffix = QStringLiteral("%1-%2.png")
                               .arg(app.devicePixelRatio() > 1 ? QStringLiteral("@2x") : QString(),
                                    dark ? QStringLiteral("dark") : QStringLiteral("light"));
    {
        // Prompts answered in the user's place: the message of the job's link, say.
        const Prompts qtPrompts = GetPrompts();
        GetPrompts().showMessage = [](QWidget*, const QString&, MessageIcon) {};
        MainWindow docs;
        docs.move(40, 40);
        docs.show();
        if (!QTest::qWaitForWindowExposed(&docs) || !ShootForTheDocs(docs, out, suffix)) return 1;
        GetPrompts() = qtPrompts;
    }
    {
        MainWindow art;
        art.move(40, 40);
        art.show();
        art.resize(art.width() + 120, art.height() + 60);
        if (!QTest::qWaitForWindowExposed(&art) || !ShootArtForTheDocs(art, out, suffix)) return 1;
    }

    MainWindow dlg;
    dlg.SetLook({Color{0x80, 0x30, 0x20}, Color{0xFF, 0xF0, 0xE0}, 0, true});
    dlg.move(40, 40);
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg)) return 1;
    Save(dlg, out + QStringLiteral("/tab0-file.png"));
    dlg.tabCtrl()->SetCurFocus(1);
    dlg.folderPage().targetEdit()->setText(QStringLiteral("/home/user/ログ/"));
    Save(dlg, out + QStringLiteral("/tab1-folder.png"));

    // A real file job on a long document, shot while it runs, then aborted.
    const QString document = out + QStringLiteral("/job/スレ.htm");
    QDir().mkpath(out + QStringLiteral("/job"));
    {
        QString text;
        for (int i = 0; i < 30000; ++i) text += QStringLiteral("<dt>%1<dd>（´・ω・｀）ｼｮﾎﾞｰﾝ\r\n").arg(i);
        QFile file(document);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        file.write(QByteArray::fromStdString(ToCp932(text)));
    }
    dlg.tabCtrl()->SetCurFocus(0);
    dlg.filePage().targetEdit()->setText(document);
    QTimer::singleShot(0, [&] {
        Save(dlg, out + QStringLiteral("/job-running.png"));
        dlg.progressWindow().OnAbort();
    });
    dlg.OnGenerate();
    Save(dlg, out + QStringLiteral("/job-after.png"));
    dlg.tabCtrl()->SetCurFocus(2);
    dlg.copyPastePage().edit()->setPlainText(
        QStringLiteral("　　 ∧＿∧\n　　（　´∀｀）　&hearts; <b>\n　　（　　　　）\n　　｜ ｜　|\n　　（_＿）＿）"));
    Save(dlg, out + QStringLiteral("/tab2-copypaste.png"));
    dlg.resize(dlg.width() + 160, dlg.height() + 120);
    Save(dlg, out + QStringLiteral("/tab2-resized.png"));

    // The picture the generate button writes for the text in the box.
    GetPrompts().askSaveFile = [&out](QWidget*, const SaveFileRequest&) -> std::optional<QString> {
        return out + QStringLiteral("/copypaste-picture.png");
    };
    dlg.OnGenerate();

    AboutBox about(&dlg);
    about.show();
    about.move(dlg.frameGeometry().center() - about.rect().center());
    Save(about, out + QStringLiteral("/about.png"));
    about.hide();

    dlg.progressWindow().BeginJob();
    dlg.progressWindow().ShowCentered();
    dlg.progressWindow().SetProgressText("thread.htm");
    Save(dlg, out + QStringLiteral("/progress.png"));
    dlg.progressWindow().HideProgress();
    return 0;
}
