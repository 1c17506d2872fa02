// The summary a file or folder job ends with: the counts, and every warning and
// failure under its document, in a list that can be read, copied and kept open.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/job_summary_window.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;

namespace {

void MakeTree(const TempDir& temp) { quarvel::test::WriteWarningTree(temp / "tree", temp / "elsewhere.htm"); }

}  // namespace

class JobSummaryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void aFolderJobEndsWithItsSummary() {
        PromptRecorder prompts;  // the engine's message for the link is answered
        TempDir temp;
        MakeTree(temp);
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(1);
        dlg.folderPage().SetTargetFolder(Native(temp / "tree"));
        dlg.OnGenerate();
        QCOMPARE(prompts.messages.size(), 1);

        QTRY_VERIFY(dlg.jobSummary() && dlg.jobSummary()->isVisible());
        JobSummaryWindow* summary = dlg.jobSummary();
        QCOMPARE(summary->windowTitle(), QStringLiteral("Quarvel　処理結果"));
        QCOMPARE(summary->countsLabel()->text(),
                 QStringLiteral("文書 4 件: 変換 1、変更なし 2、失敗 1 ／ 画像 3 枚 ／ 警告 2 件"));
        const QString tree = Native(temp / "tree");
        QCOMPARE(summary->list()->toPlainText(),
                 tree +
                     QStringLiteral("/art.htm\n"
                                    "　art/001.png: the art is wider than 1024 pixels; what lies beyond is not drawn "
                                    "(shorten its longest lines)\n"
                                    "　art/002.png: the art has more than 50 lines; only the first 50 are drawn (split "
                                    "it into pieces)\n") +
                     tree +
                     QStringLiteral("/link.htm\n"
                                    "　失敗: a document that is a symbolic link is not converted"));
        QVERIFY(summary->list()->isReadOnly());

        // Copied whole, counts first.
        QGuiApplication::clipboard()->clear();
        summary->copyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), summary->countsLabel()->text() + QLatin1Char('\n') +
                                                           summary->list()->toPlainText() + QLatin1Char('\n'));

        // Kept open while the window is used; the next job's summary takes its place.
        dlg.tabCtrl()->SetCurFocus(0);
        dlg.filePage().SetTargetFile(Native(temp / "elsewhere.htm"));
        dlg.OnGenerate();
        QTRY_COMPARE(summary->countsLabel()->text(),
                     QStringLiteral("文書 1 件: 変換 1、変更なし 0、失敗 0 ／ 画像 1 枚 ／ 警告 0 件"));
        QCOMPARE(summary->list()->toPlainText(), QStringLiteral("警告も失敗もありません"));
        QCOMPARE(dlg.jobSummary(), summary);

        // A picture or an archive given as the document is said to be no text.
        WriteFile(temp / "art.zip", std::string("PK\x03\x04<dd>x\r\n", 11));
        dlg.filePage().SetTargetFile(Native(temp / "art.zip"));
        dlg.OnGenerate();
        QTRY_COMPARE(summary->list()->toPlainText(),
                     Native(temp / "art.zip") + QStringLiteral("\n　テキストではないため変換しません（ZIP archive）"));
        QVERIFY(summary->countsLabel()->text().contains(QStringLiteral("変更なし 1")));
    }

    void pathsDroppedTogetherEndWithOneSummary() {
        PromptRecorder prompts;
        TempDir temp;
        MakeTree(temp);
        WriteFile(temp / "one.htm", "<dd>(^o^)\r\n<dd>(-_-)\r\n");
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.OnDropFiles({temp / "tree", temp / "one.htm", temp / "missing"});
        QTRY_VERIFY(dlg.jobSummary() && dlg.jobSummary()->isVisible());
        JobSummaryWindow* summary = dlg.jobSummary();
        QCOMPARE(summary->countsLabel()->text(),
                 QStringLiteral("文書 5 件: 変換 2、変更なし 2、失敗 1 ／ 画像 5 枚 ／ 警告 2 件"));
    }

    void aStoppedJobAndFailuresOutsideTheDocumentsAreSaid() {
        PromptRecorder prompts;
        TempDir temp;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(1);
        dlg.folderPage().SetTargetFolder(Native(temp / "missing"));
        dlg.OnGenerate();
        QTRY_VERIFY(dlg.jobSummary() && dlg.jobSummary()->isVisible());
        QCOMPARE(dlg.jobSummary()->countsLabel()->text(),
                 QStringLiteral("文書 0 件: 変換 0、変更なし 0、失敗 0 ／ 画像 0 枚 ／ 警告 0 件 ／ "
                                "文書以外の失敗 1 件"));
        QCOMPARE(dlg.jobSummary()->list()->toPlainText(),
                 Native(temp / "missing") + QStringLiteral("\n　失敗: folder not found"));

        // Stopped by "中止" before the first document.
        MakeTree(temp);
        dlg.folderPage().SetTargetFolder(Native(temp / "tree"));
        quarvel::test::HeldWorker held;
        quarvel::test::DuringJob(held, [&] { dlg.progressWindow().OnAbort(); });
        dlg.OnGenerate();
        QTRY_VERIFY(dlg.jobSummary()->countsLabel()->text().startsWith(QStringLiteral("中止しました。")));
    }
};

QUARVEL_UI_TEST(JobSummaryWindowTest)
#include "job_summary_window_test.moc"
