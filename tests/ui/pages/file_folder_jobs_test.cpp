// Real file and folder jobs of the file and folder pages: started from the button and
// from drops, refused, aborted, a worker that cannot start, settings changed while one
// runs, and a document put back from its backup.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <system_error>

#include "render/png_writer.h"
#include "render/renderer.h"
#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/job_runner.h"
#include "ui/job_summary_window.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/text_codec.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::platform::kWhite;
using quarvel::platform::Picture;
using quarvel::test::DuringJob;
using quarvel::test::Edit;
using quarvel::test::HeldWorker;
using quarvel::test::Native;
using quarvel::test::NativeName;
using quarvel::test::PromptRecorder;
using quarvel::test::ReadFile;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;
namespace stdfs = std::filesystem;

namespace {

// Two stretches with the default separators: one ends at CR LF, one at "</dl>".
const QString kDocument = QStringLiteral("<dl>\r\n<dt>1 名無し<dd>（´・ω・｀）\r\n<dt>2<dd>ｷﾀ━━━</dl>\r\n");

std::string Cp932(const QString& text) { return ToCp932(text); }

// The picture's colours: every pixel is one of the two, and both occur.
bool DrawnIn(const stdfs::path& png, Color fore, Color back) {
    Picture picture;
    if (!quarvel::test::DecodePng(png, picture)) return false;
    bool sawFore = false, sawBack = false;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Color c = picture.pixel(x, y);
            if (c == fore)
                sawFore = true;
            else if (c == back)
                sawBack = true;
            else
                return false;
        }
    }
    return sawFore && sawBack;
}

void CheckWindowRestored(MainWindow& dlg) {
    QVERIFY(dlg.generateButton()->isEnabled());
    QCOMPARE(dlg.generateButton()->text(), QStringLiteral("PNG画像生成"));
    QVERIFY(!dlg.progressWindow().isVisible());
    QVERIFY(!dlg.progressWindow().running);
    QVERIFY(!dlg.IsBusy());
}

}  // namespace

class FileFolderJobsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(!QApplication::activeModalWidget()); }

    void theFilePagePutsItsDocumentBack() {
        PromptRecorder prompts;
        TempDir temp;
        // A page saved in UTF-8, converted with the code its bytes tell.
        const std::string page = "<dl>\r\n<dt>1<dd>（´・ω・｀）\r\n<dt>2<dd>ｷﾀ━━━</dl>\r\n";
        const stdfs::path doc = temp / "page.htm";
        WriteFile(doc, page);
        MainWindow dlg;
        QAction* restore = dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32777"));
        QVERIFY(restore);
        restore->trigger();  // no document named
        QCOMPARE(prompts.messages.size(), 1);

        dlg.filePage().SetTargetFile(Native(doc));
        restore->trigger();  // nothing to go back to
        QVERIFY2(prompts.messages.last().contains(QStringLiteral("no backup")), qPrintable(prompts.messages.last()));

        qobject_cast<QRadioButton*>(GetDlgItem(&dlg.filePage(), IDC_CODE_AUTO))->setChecked(true);
        dlg.OnGenerate();
        CheckWindowRestored(dlg);
        QCOMPARE(ReadFile(doc), std::string("<dl>\r\n<dt>1<dd><img src=\"./page/001.png\">\r\n"
                                            "<dt>2<dd><img src=\"./page/002.png\"></dl>\r\n"));
        const std::string converted = ReadFile(doc);

        // Asked first; Cancel leaves everything as it is.
        prompts.confirmAnswer = false;
        const qsizetype messages = prompts.messages.size();
        restore->trigger();
        QCOMPARE(prompts.confirms.size(), 1);
        QVERIFY(prompts.confirms[0].contains(QStringLiteral("backup/page.htm")));
        QCOMPARE(prompts.messages.size(), messages);
        QCOMPARE(ReadFile(doc), converted);

        // Put back as a job of the window: its summary says what became of the document.
        prompts.confirmAnswer = true;
        restore->trigger();
        QCOMPARE(ReadFile(doc), page);
        QVERIFY(!stdfs::exists(temp / "page"));
        QCOMPARE(ReadFile(temp / "backup" / "page.htm.converted"), converted);
        QTRY_VERIFY(dlg.jobSummary() && dlg.jobSummary()->isVisible() &&
                    dlg.jobSummary()->list()->toPlainText().contains(QStringLiteral("変換の画像 2 個を削除")));
        QVERIFY2(dlg.jobSummary()->countsLabel()->text().contains(QStringLiteral("戻した 1")),
                 qPrintable(dlg.jobSummary()->countsLabel()->text()));

        restore->trigger();  // already as the copy holds it
        QVERIFY2(prompts.messages.last().contains(QStringLiteral("戻すものはありません")),
                 qPrintable(prompts.messages.last()));
        QCOMPARE(ReadFile(doc), page);
    }

    void fileJobFromTheButtonAndFromADrop() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path doc = temp / NativeName(QStringLiteral("スレ.htm"));
        WriteFile(doc, Cp932(kDocument));

        MainWindow dlg;
        dlg.SetLook({Color{0xFF, 0x00, 0x00}, Color{0xFF, 0xFF, 0xE0}, 0, true});
        dlg.marginEdit()->setText(QStringLiteral("3"));
        dlg.filePage().targetEdit()->setText(Native(doc));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        CheckWindowRestored(dlg);
        QCOMPARE(prompts.messages, QStringList());

        const stdfs::path images = temp / NativeName(QStringLiteral("スレ"));
        QCOMPARE(QString::fromStdString(ReadFile(doc)),
                 QString::fromStdString(Cp932(QStringLiteral("<dl>\r\n<dt>1 名無し<dd><img src=\"./スレ/001.png\">\r\n"
                                                             "<dt>2<dd><img src=\"./スレ/002.png\"></dl>\r\n"))));
        QVERIFY(DrawnIn(images / "001.png", Color{0xFF, 0x00, 0x00}, Color{0xFF, 0xFF, 0xE0}));
        QVERIFY(DrawnIn(images / "002.png", Color{0xFF, 0x00, 0x00}, Color{0xFF, 0xFF, 0xE0}));
        QCOMPARE(ReadFile(temp / "backup" / doc.filename()), Cp932(kDocument));
        QVERIFY(dlg.progressWindow().text().contains(QStringLiteral("/スレ.htm(")));  // the engine's last text stays

        // A drop: the file tab, the page's own settings, no backup this time; the
        // window's scale and transparent background, which take effect at once.
        dlg.scaleBox()->setCurrentIndex(1);
        dlg.transparentCheck()->setChecked(true);
        const stdfs::path second = temp / "second.htm";
        WriteFile(second, Cp932(QStringLiteral("<p>(・∀・)</p>")));
        dlg.tabCtrl()->SetCurFocus(1);
        Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->setText(QStringLiteral("<p>"));
        Edit(&dlg.filePage(), IDC_SEPARATOR_END1)->setText(QStringLiteral("</p>"));
        qobject_cast<QCheckBox*>(GetDlgItem(&dlg.filePage(), IDC_BACKUP))->setChecked(false);
        dlg.OnDropFiles({second});
        CheckWindowRestored(dlg);
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 0);
        QCOMPARE(dlg.filePage().targetEdit()->text(), Native(second));
        QCOMPARE(ReadFile(second), std::string("<p><img src=\"./second/001.png\"></p>"));
        const auto picture = quarvel::render::EncodePng(
            quarvel::render::RenderPicture(Cp932(QStringLiteral("(・∀・)")).c_str(), dlg.Look()),
            quarvel::render::PngOptionsFor(dlg.Look(), quarvel::render::PngForm::rgb));
        QVERIFY(picture.ok() && dlg.Look().scale == 2);
        QVERIFY(ReadFile(temp / "second" / "001.png") == *picture);
        QVERIFY(!stdfs::exists(temp / "backup" / "second.htm"));

        // Paths dropped together are one run: the second document with the image
        // folder of the first is left as it is, and the user is told which.
        WriteFile(temp / "x.htm", "<p>one</p>");
        WriteFile(temp / "x.html", "<p>two</p>");
        dlg.OnDropFiles({temp / "x.htm", temp / "x.html"});
        CheckWindowRestored(dlg);
        QCOMPARE(ReadFile(temp / "x.htm"), std::string("<p><img src=\"./x/001.png\"></p>"));
        QCOMPARE(ReadFile(temp / "x.html"), std::string("<p>two</p>"));
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(
            prompts.messages[0].contains(QStringLiteral("not converted: its image folder is that of this document")),
            qPrintable(prompts.messages[0]));
    }

    void folderJobFromADropAndFromTheButton() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path root = temp / NativeName(QStringLiteral("ログ"));
        stdfs::create_directories(root / "sub");
        const std::string text = Cp932(kDocument);
        WriteFile(root / "x.htm", text);
        WriteFile(root / "sub" / "a.htm", text);
        WriteFile(root / "notes.txt", text);

        MainWindow dlg;
        dlg.OnDropFiles({root});
        CheckWindowRestored(dlg);
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 1);
        QCOMPARE(dlg.folderPage().targetEdit()->text(), Native(root));
        QVERIFY(ReadFile(root / "x.htm") != text);
        QVERIFY(ReadFile(root / "sub" / "a.htm") != text);
        QCOMPARE(ReadFile(root / "notes.txt"), text);
        QVERIFY(DrawnIn(root / "x" / "002.png", Color{0x00, 0x00, 0x00}, Color{0xFF, 0xFF, 0xFF}));
        QVERIFY(stdfs::exists(root / "sub" / "a" / "001.png"));
        QCOMPARE(ReadFile(root / "backup" / "x.htm"), text);
        QCOMPARE(ReadFile(root / "sub" / "backup" / "a.htm"), text);
        QVERIFY(dlg.progressWindow().text().contains(QStringLiteral("ログ/x.htm")));

        // From the button: trailing separators, another pattern, no sub-folders, EUC-JP.
        WriteFile(root / "y.txt", "<dd>\xA5\xB9\xA5\xEC\r\n");  // "スレ" in EUC-JP
        WriteFile(root / "sub" / "b.txt", text);
        dlg.folderPage().targetEdit()->setText(Native(root) + QStringLiteral("//"));
        dlg.folderPage().filterEdit()->setText(QStringLiteral("*.txt"));
        dlg.folderPage().subFolderCheck()->setChecked(false);
        qobject_cast<QRadioButton*>(GetDlgItem(&dlg.folderPage(), IDC_CODE_EUC))->setChecked(true);
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        CheckWindowRestored(dlg);
        // notes.txt is Shift-JIS: never rewritten as EUC-JP.
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].contains(QStringLiteral("notes.txt")));
        QVERIFY(prompts.messages[0].contains(QStringLiteral("the document's character code: Shift_JIS")));
        QCOMPARE(ReadFile(root / "notes.txt"), text);
        QCOMPARE(ReadFile(root / "y.txt"), std::string("<dd><img src=\"./y/001.png\">\r\n"));
        QCOMPARE(ReadFile(root / "sub" / "b.txt"), text);
        // The box keeps what was typed.
        QCOMPARE(dlg.folderPage().targetEdit()->text(), Native(root) + QStringLiteral("//"));
    }

    void emptyPathsAreRefusedBeforeAnyJob() {
        PromptRecorder prompts;
        HeldWorker held;
        MainWindow dlg;
        dlg.tabCtrl()->SetCurFocus(1);
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("name a folder")});
        dlg.tabCtrl()->SetCurFocus(0);
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages.last(), QStringLiteral("name a file"));
        QCOMPARE(held.starts, 0);
        CheckWindowRestored(dlg);
    }

    void workerThatCannotStartIsReported() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path doc = temp / "a.htm";
        WriteFile(doc, Cp932(kDocument));
        const WorkerStarter threads = GetWorkerStarter();
        GetWorkerStarter() = [](std::function<void()>) -> std::thread {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        };
        MainWindow dlg;
        dlg.filePage().targetEdit()->setText(Native(doc));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        GetWorkerStarter() = threads;
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("ジョブを開始できません")});
        CheckWindowRestored(dlg);
        QCOMPARE(ReadFile(doc), Cp932(kDocument));

        // The window works on: the next job runs.
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QVERIFY(ReadFile(doc) != Cp932(kDocument));
    }

    void abortLeavesTheDocumentAsItWas() {
        PromptRecorder prompts;
        TempDir temp;
        // Many stretches, so that the job is still drawing when "中止" is pressed.
        QString big;
        for (int i = 0; i < 3000; ++i) big += QStringLiteral("<dt>%1<dd>（´・ω・｀）ｼｮﾎﾞｰﾝ\r\n").arg(i);
        const std::string original = Cp932(big);
        const stdfs::path doc = temp / "big.htm";
        WriteFile(doc, original);

        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        qobject_cast<QCheckBox*>(GetDlgItem(&dlg.filePage(), IDC_BACKUP))->setChecked(false);
        dlg.filePage().targetEdit()->setText(Native(doc));
        bool pressed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Pressed once the document is being drawn.
            if (!pressed && dlg.progressWindow().isVisible() &&
                dlg.progressWindow().text().contains(QStringLiteral("big.htm("))) {
                QTest::mouseClick(dlg.progressWindow().abortButton(), Qt::LeftButton);
                pressed = true;
            }
        });
        poll.start(0);
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        poll.stop();
        QVERIFY(pressed);
        CheckWindowRestored(dlg);
        QCOMPARE(ReadFile(doc), original);
        QVERIFY(!stdfs::exists(temp / "big" / "3000.png"));

        // An abort never carries over: the next job runs to its end.
        WriteFile(doc, Cp932(kDocument));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QVERIFY(stdfs::exists(temp / "big" / "002.png"));
        QCOMPARE(prompts.messages, QStringList());
    }

    void abortBeforeTheWorkerLooksStopsAtTheFirstCheck() {
        TempDir temp;
        const stdfs::path root = temp / "logs";
        stdfs::create_directories(root);
        WriteFile(root / "x.htm", Cp932(kDocument));
        HeldWorker held;
        MainWindow dlg;
        dlg.folderPage().targetEdit()->setText(Native(root));
        dlg.tabCtrl()->SetCurFocus(1);
        DuringJob(held, [&] { QTest::mouseClick(dlg.progressWindow().abortButton(), Qt::LeftButton); });
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        CheckWindowRestored(dlg);
        QCOMPARE(ReadFile(root / "x.htm"), Cp932(kDocument));
        QVERIFY(!stdfs::exists(root / "x"));
    }

    void settingsChangedDuringAJobDoNotAffectIt() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path doc = temp / "a.htm";
        WriteFile(doc, Cp932(kDocument));
        // Settings that would convert nothing in this document, in colours of their own.
        const stdfs::path ini = temp / "other.ini";
        WriteFile(ini,
                  "[TargetFilePage]\r\nstrSepalaterStart1=\"<zz>\"\r\nbBackup=FALSE\r\n"
                  "[General]\r\ncolFore=#00FF00\r\n");

        HeldWorker held;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.SetLook({Color{0x00, 0x00, 0x80}, kWhite, 0, true});
        dlg.filePage().targetEdit()->setText(Native(doc));
        bool checked = false;
        DuringJob(held, [&] {
            QVERIFY(dlg.progressWindow().isVisible());
            // The page, the swatches and the menu all answer during the job.
            dlg.filePage().targetEdit()->setText(QStringLiteral("/no/such.htm"));
            Edit(&dlg.filePage(), IDC_SEPARATOR_END1)->setText(QStringLiteral("x"));
            qobject_cast<QRadioButton*>(GetDlgItem(&dlg.filePage(), IDC_CODE_EUC))->setChecked(true);
            prompts.colorAnswer = QColor(0, 0, 255);
            QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {}, dlg.SwatchRect(IDC_BACK_COLOR).center());
            QCOMPARE(dlg.Look().backColor, (Color{0x00, 0x00, 0xFF}));
            prompts.openAnswer = Native(ini);
            dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32772"))->trigger();
            QCOMPARE(Edit(&dlg.filePage(), IDC_SEPARATOR_START1)->text(), QStringLiteral("<zz>"));
            QCOMPARE(dlg.Look().textColor, (Color{0x00, 0xFF, 0x00}));
            dlg.close();  // waits for the job
            QVERIFY(dlg.isVisible());
            checked = true;
        });
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QVERIFY(checked);
        QCOMPARE(held.starts, 1);
        // The job ran on what it took at its start.
        QVERIFY(DrawnIn(temp / "a" / "001.png", Color{0x00, 0x00, 0x80}, Color{0xFF, 0xFF, 0xFF}));
        QVERIFY(stdfs::exists(temp / "a" / "002.png"));
        QCOMPARE(ReadFile(temp / "backup" / "a.htm"), Cp932(kDocument));
        QCOMPARE(prompts.messages, QStringList());
        // The close asked for during the job happens now, the job being over.
        QTRY_VERIFY(dlg.isHidden());
    }
};

QUARVEL_UI_TEST(FileFolderJobsTest)
#include "file_folder_jobs_test.moc"
