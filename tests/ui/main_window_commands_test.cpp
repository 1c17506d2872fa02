// The two settings-file commands of the main window's menu, through the real menu
// with the file dialogs answered: the bytes of a saved file, files that hold more than
// the program's keys, the edge cases of loading, and the refusals.

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>

#include <unistd.h>

#include <filesystem>

#include "platform/fs.h"
#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/text_codec.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::platform::kWhite;
using quarvel::test::Button;
using quarvel::test::Edit;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::ReadFile;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;
namespace stdfs = std::filesystem;

namespace {

// The system's words for an errno value, as the window's messages end with them.
QString Reason(int error) { return QString::fromStdString(quarvel::platform::fs::SystemReason(error)); }

void Save(MainWindow& dlg) { dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32771"))->trigger(); }
void Load(MainWindow& dlg) { dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32772"))->trigger(); }
QAction* IndexedPng(MainWindow& dlg) { return dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32774")); }

// What a window saves before anything is changed: the pages read each document in the
// code its bytes tell.
std::string FreshWindowSettings() {
    std::string text = quarvel::test::kFreshSettingsFile;
    for (std::size_t at = text.find("iCode=0\r\n"); at != std::string::npos; at = text.find("iCode=0\r\n", at + 1))
        text.insert(at + 9, "strCode=\"auto\"\r\n");
    return text;
}

// The colour type in a PNG file's header: 2 for RGB, 3 for a palette.
int ColourType(const stdfs::path& png) {
    const auto chunks = quarvel::test::PngChunks(ReadFile(png));
    return chunks.empty() || chunks[0].data.size() < 10 ? -1 : chunks[0].data[9];
}

}  // namespace

class MainWindowCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void saveFromScratchWritesEveryLine() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path ini = temp / "設定.ini";
        MainWindow dlg;
        prompts.saveAnswer = Native(ini);
        Save(dlg);
        QCOMPARE(prompts.saveCalls, 1);
        QCOMPARE(prompts.saveRequest.defaultSuffix, QStringLiteral("ini"));
        QCOMPARE(prompts.saveRequest.nameFilters,
                 (QStringList{QStringLiteral("設定ファイル (*.ini)"), QStringLiteral("All Files (*.*)")}));
        QCOMPARE(ReadFile(ini), FreshWindowSettings());
        // A second save into the same file changes nothing.
        Save(dlg);
        QCOMPARE(ReadFile(ini), FreshWindowSettings());
        QCOMPARE(prompts.messages, QStringList());
    }

    void saveKeepsWhatElseTheFileHolds() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path ini = temp / "mine.ini";
        const std::string head = "; my settings\r\n[Other]\r\nx=1\r\n\r\n[General]\r\n";
        WriteFile(ini, head + "iMargin=5\r\nfoo=bar\r\n");
        MainWindow dlg;
        dlg.marginEdit()->setText(QStringLiteral("7"));
        prompts.saveAnswer = Native(ini);
        Save(dlg);
        const std::string saved = ReadFile(ini);
        // The margin is replaced where it stands; every other line stays.
        QVERIFY2(saved.starts_with(head + "iMargin=7\r\nfoo=bar\r\n"), saved.c_str());
        for (const char* line : {"colFore=#000000\r\n", "bSpace=TRUE\r\n", "[TargetFilePage]\r\n",
                                 "[TargetFolderPage]\r\nstrFileFilter=\"*.htm\"\r\n"}) {
            QVERIFY2(saved.find(line) != std::string::npos, line);
        }

        // And it loads back.
        MainWindow other;
        prompts.openAnswer = Native(ini);
        Load(other);
        QCOMPARE(other.Look().margin, 7);
        QCOMPARE(other.marginEdit()->text(), QStringLiteral("7"));
    }

    void pagesKeepSeparateSettingsThroughAFile() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path ini = temp / "pages.ini";
        MainWindow dlg;
        Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->setText(QStringLiteral("「"));
        Edit(&dlg.filePage(), IDC_SEPARATOR_END3)->setText(QStringLiteral("</pre>\\n"));
        Edit(&dlg.folderPage(), IDC_SEPARATOR_START2)->setText(QStringLiteral("<p>"));
        Button(&dlg.folderPage(), IDC_CODE_EUC)->setChecked(true);
        Button(&dlg.folderPage(), IDC_BACKUP)->setChecked(false);
        dlg.folderPage().filterEdit()->setText(QStringLiteral("*.html"));
        dlg.folderPage().subFolderCheck()->setChecked(false);
        dlg.SetLook({Color{0xFF, 0x00, 0x00}, kWhite, 0, true});
        dlg.spaceCheck()->setChecked(false);
        prompts.saveAnswer = Native(ini);
        Save(dlg);
        const std::string saved = ReadFile(ini);
        // Window texts are stored in code page 932: "「" is 81 75.
        QVERIFY(saved.find("[TargetFilePage]\r\nstrSepalaterStart1=\"\x81\x75\"\r\n") != std::string::npos);
        QVERIFY(saved.find("strSepalaterEnd3=\"</pre>\\n\"\r\nbBackup=TRUE\r\niCode=0\r\nstrCode=\"auto\"\r\n"
                           "[TargetFolderPage]") != std::string::npos);
        QVERIFY(saved.find("strSepalaterStart2=\"<p>\"") != std::string::npos);
        QVERIFY(saved.find("bBackup=FALSE\r\niCode=1\r\n[General]\r\ncolFore=#0000FF\r\n") != std::string::npos);

        MainWindow fresh;
        fresh.filePage().targetEdit()->setText(QStringLiteral("typed, not exchanged"));
        prompts.openAnswer = Native(ini);
        Load(fresh);
        QCOMPARE(Edit(&fresh.filePage(), IDC_SEPARATOR_START1)->text(), QStringLiteral("「"));
        QCOMPARE(Edit(&fresh.filePage(), IDC_SEPARATOR_END3)->text(), QStringLiteral("</pre>\\n"));
        QCOMPARE(Edit(&fresh.filePage(), IDC_SEPARATOR_START2)->text(), QString());
        QVERIFY(Button(&fresh.filePage(), IDC_CODE_AUTO)->isChecked());
        QVERIFY(Button(&fresh.filePage(), IDC_BACKUP)->isChecked());
        QCOMPARE(Edit(&fresh.folderPage(), IDC_SEPARATOR_START1)->text(), QStringLiteral("<dd>"));
        QCOMPARE(Edit(&fresh.folderPage(), IDC_SEPARATOR_START2)->text(), QStringLiteral("<p>"));
        QVERIFY(Button(&fresh.folderPage(), IDC_CODE_EUC)->isChecked());
        QVERIFY(!Button(&fresh.folderPage(), IDC_BACKUP)->isChecked());
        QCOMPARE(fresh.folderPage().filterEdit()->text(), QStringLiteral("*.html"));
        QVERIFY(!fresh.folderPage().subFolderCheck()->isChecked());
        QVERIFY(!fresh.spaceCheck()->isChecked());
        QCOMPARE(fresh.Look().textColor, (Color{0xFF, 0x00, 0x00}));
        // The path box shows its member again; paths are never stored.
        QCOMPARE(fresh.filePage().targetEdit()->text(), QString());
    }

    void loadingTakesOddValuesAsTheyCome() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path ini = temp / "odd.ini";
        WriteFile(ini,
                  "[General]\r\ncolFore=#ff\r\ncolBack=0000FF\r\niMargin=12px\r\nbSpace=\" True \"\r\n"
                  "[TargetFilePage]\r\nstrSepalaterStart1=" +
                      std::string(600, 'x') +
                      "\r\nstrSepalaterEnd2=\r\niCode=2\r\n"
                      "[TargetFolderPage]\r\nbSubFolder=yes\r\niCode=1\r\n");
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        prompts.openAnswer = Native(ini);
        Load(dlg);
        QCOMPARE(prompts.openCalls, 1);
        QCOMPARE(prompts.openRequest.defaultSuffix, QStringLiteral("ini"));
        QCOMPARE(prompts.openRequest.nameFilters,
                 (QStringList{QStringLiteral("設定ファイル (*.ini)"), QStringLiteral("All Files (*.*)")}));

        QCOMPARE(dlg.Look().textColor, (Color{0xFF, 0x00, 0x00}));  // "#ff": pure red
        QCOMPARE(dlg.Look().backColor, (Color{0x00, 0x00, 0x00}));  // no number sign: black
        QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("12"));
        QVERIFY(dlg.spaceCheck()->isChecked());
        // The swatches show the loaded colours at once.
        const QImage shot = dlg.clientArea()->grab().toImage();
        QCOMPARE(shot.pixelColor(dlg.SwatchRect(IDC_TEXT_COLOR).center()), QColor(255, 0, 0));
        QCOMPARE(shot.pixelColor(dlg.SwatchRect(IDC_BACK_COLOR).center()), QColor(0, 0, 0));

        QCOMPARE(Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->text(), QString(511, QLatin1Char('x')));
        QCOMPARE(Edit(&dlg.filePage(), IDC_SEPARATOR_END2)->text(), QStringLiteral("<dt>"));  // empty: kept
        QCOMPARE(dlg.filePage().commonSettings().settings().code, static_cast<quarvel::engine::DocumentCode>(2));
        QVERIFY(!Button(&dlg.filePage(), IDC_CODE_SJIS)->isChecked());
        QVERIFY(!Button(&dlg.filePage(), IDC_CODE_EUC)->isChecked());
        dlg.filePage().commonSettings().ReadControls();
        QCOMPARE(dlg.filePage().commonSettings().settings().code, quarvel::engine::DocumentCode::none);
        QVERIFY(!dlg.folderPage().subFolderCheck()->isChecked());
        QVERIFY(Button(&dlg.folderPage(), IDC_CODE_EUC)->isChecked());
        QCOMPARE(dlg.folderPage().filterEdit()->text(), QStringLiteral("*.htm"));

        // A margin of 150 is shown as read, then refused by the save command.
        WriteFile(ini, "[General]\r\niMargin=150\r\n");
        Load(dlg);
        QCOMPARE(dlg.Look().margin, 150);
        QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("150"));
        QCOMPARE(dlg.Look().textColor, (Color{0xFF, 0x00, 0x00}));
        prompts.saveAnswer = Native(temp / "never.ini");
        Save(dlg);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("0 から 100 までの整数を入力してください。")});
        QCOMPARE(prompts.saveCalls, 0);
        QVERIFY(!stdfs::exists(temp / "never.ini"));
        QCOMPARE(QApplication::focusWidget(), dlg.marginEdit());
    }

    void cancelledOrMissingFilesChangeNothing() {
        PromptRecorder prompts;
        TempDir temp;
        MainWindow dlg;
        Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->setText(QStringLiteral("<p>"));
        dlg.filePage().commonSettings().ReadControls();
        Load(dlg);  // cancelled
        prompts.openAnswer = Native(temp / "missing.ini");
        Load(dlg);
        QCOMPARE(prompts.openCalls, 2);
        QCOMPARE(Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->text(), QStringLiteral("<p>"));
        QCOMPARE(dlg.Look().textColor, (Color{0x00, 0x00, 0x00}));
        QCOMPARE(dlg.Look().backColor, (Color{0xFF, 0xFF, 0xFF}));
        QVERIFY(!stdfs::exists(temp / "missing.ini"));

        Save(dlg);  // cancelled
        QCOMPARE(prompts.saveCalls, 1);
        QVERIFY(stdfs::is_empty(temp.path()));
        QCOMPARE(prompts.messages, QStringList());
    }

    void filesWithoutSettingsAreReportedAndMarkedOnesLoad() {
        TempDir temp;
        const stdfs::path ini = temp / "other.ini";
        PromptRecorder prompts;
        prompts.openAnswer = Native(ini);
        MainWindow dlg;
        for (const std::string text : {"[Other]\r\niMargin=50\r\n", "iMargin=50\n", ""}) {
            WriteFile(ini, text);
            prompts.messages.clear();
            Load(dlg);
            QCOMPARE(prompts.messages, QStringList{Native(ini) + QStringLiteral("\n設定が見つかりません")});
            QCOMPARE(dlg.Look().margin, 0);
        }
        // A byte-order mark and CR line ends, as other editors save them.
        WriteFile(ini, "\xEF\xBB\xBF[General]\riMargin=6\r[TargetFilePage]\rstrSepalaterStart1=<p>\r");
        prompts.messages.clear();
        Load(dlg);
        QCOMPARE(prompts.messages, QStringList());
        QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("6"));
        QCOMPARE(Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->text(), QStringLiteral("<p>"));
        // A file that is there but cannot be read: what failed and the system's reason.
        if (::geteuid() != 0) {
            stdfs::permissions(ini, stdfs::perms::none);
            prompts.messages.clear();
            Load(dlg);
            QCOMPARE(prompts.messages,
                     QStringList{Native(ini) + QStringLiteral("\ncould not open the file\n") + Reason(EACCES)});
        }
        // A folder by the settings file's name cannot be read either, not even by root.
        const stdfs::path folder = temp / "folder.ini";
        stdfs::create_directory(folder);
        prompts.openAnswer = Native(folder);
        prompts.messages.clear();
        Load(dlg);
        QCOMPARE(prompts.messages,
                 QStringList{Native(folder) + QStringLiteral("\ncould not open the file\n") + Reason(EISDIR)});
        QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("6"));
    }

    // "2色PNG（小さいファイル）": a check item of the file menu, saved as bIndexedPng
    // (FALSE only over a key the file has), loaded back, and the form of the pictures
    // of every page.
    void indexedPngMenuItem() {
        PromptRecorder prompts;
        TempDir temp;
        MainWindow dlg;
        QAction* item = IndexedPng(dlg);
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("2色PNG（小さいファイル）(&I)"));
        QVERIFY(dlg.menuBar()->actions().first()->menu()->actions().contains(item));  // ﾌｧｲﾙ
        QVERIFY(item->isCheckable());
        QVERIFY(!item->isChecked());
        QCOMPARE(dlg.PictureForm(), quarvel::render::PngForm::rgb);

        // Off, a new file holds the lines of a fresh window; on, one more; off again, FALSE.
        const std::string fresh = FreshWindowSettings();
        const stdfs::path off = temp / "off.ini", on = temp / "on.ini";
        prompts.saveAnswer = Native(off);
        Save(dlg);
        QCOMPARE(ReadFile(off), fresh);
        item->trigger();
        QVERIFY(item->isChecked());
        QCOMPARE(dlg.PictureForm(), quarvel::render::PngForm::indexed);
        prompts.saveAnswer = Native(on);
        Save(dlg);
        QCOMPARE(ReadFile(on), fresh + "bIndexedPng=TRUE\r\n");

        // Loaded back into windows in either state.
        MainWindow other;
        prompts.openAnswer = Native(on);
        Load(other);
        QVERIFY(IndexedPng(other)->isChecked());
        QCOMPARE(other.PictureForm(), quarvel::render::PngForm::indexed);
        prompts.openAnswer = Native(off);
        Load(other);  // no key: the form stays as it was
        QVERIFY(IndexedPng(other)->isChecked());
        IndexedPng(other)->trigger();
        QCOMPARE(other.PictureForm(), quarvel::render::PngForm::rgb);
        prompts.saveAnswer = Native(on);
        Save(other);
        QCOMPARE(ReadFile(on), fresh + "bIndexedPng=FALSE\r\n");
        prompts.saveAnswer = Native(off);
        Save(other);
        QCOMPARE(ReadFile(off), fresh);
        prompts.openAnswer = Native(on);
        Load(dlg);
        QVERIFY(!item->isChecked());
        QCOMPARE(dlg.PictureForm(), quarvel::render::PngForm::rgb);

        // Every page writes its pictures in the form checked.
        item->trigger();
        dlg.tabCtrl()->SetCurFocus(2);
        dlg.copyPastePage().edit()->setPlainText(QStringLiteral("（´・ω・｀）\n\u2665"));
        prompts.saveAnswer = Native(temp / "pasted.png");
        dlg.OnGenerate();
        QCOMPARE(ColourType(temp / "pasted.png"), 3);
        const stdfs::path doc = temp / "doc.htm";
        WriteFile(doc, "<dd>AA\r\n");
        dlg.tabCtrl()->SetCurFocus(0);
        dlg.filePage().targetEdit()->setText(Native(doc));
        dlg.OnGenerate();
        QCOMPARE(ColourType(temp / "doc" / "001.png"), 3);
        const stdfs::path folder = temp / "folder";
        stdfs::create_directory(folder);
        WriteFile(folder / "thread.htm", "<dd>BB\r\n");
        dlg.tabCtrl()->SetCurFocus(1);
        dlg.folderPage().targetEdit()->setText(Native(folder));
        dlg.OnGenerate();
        QCOMPARE(ColourType(folder / "thread" / "001.png"), 3);
        item->trigger();
        dlg.tabCtrl()->SetCurFocus(2);
        dlg.OnGenerate();
        QCOMPARE(ColourType(temp / "pasted.png"), 2);
        QCOMPARE(prompts.messages, QStringList());
    }

    void aFileThatCannotBeWrittenIsReported() {
        PromptRecorder prompts;
        TempDir temp;
        MainWindow dlg;
        const stdfs::path nowhere = temp / "no-such-folder" / "a.ini";
        prompts.saveAnswer = Native(nowhere);
        Save(dlg);
        // The file cannot be made there: the engine's words for it, and the system's.
        QCOMPARE(prompts.messages,
                 QStringList{Native(nowhere) + QStringLiteral("\ncould not open the file\n") + Reason(ENOENT)});

        // A read-only file stays as it was.
        const stdfs::path locked = temp / "locked.ini";
        WriteFile(locked, "[General]\r\niMargin=9\r\n");
        stdfs::permissions(locked, stdfs::perms::owner_read | stdfs::perms::group_read);
        prompts.saveAnswer = Native(locked);
        Save(dlg);
        QCOMPARE(prompts.messages.size(), 2);
        QCOMPARE(ReadFile(locked), std::string("[General]\r\niMargin=9\r\n"));
    }
};

QUARVEL_UI_TEST(MainWindowCommandsTest)
#include "main_window_commands_test.moc"
