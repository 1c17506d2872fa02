// What a new user meets first: Return on "参照..." opens its dialog; a document in
// another code is refused with the code that fits and how to choose it; a failed job's
// message stands over its own document, not the last job's; the collections' search
// finds the art as it is drawn.

#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/job_summary_window.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"
#include "ui/piece_list.h"
#include "ui/template_browser.h"

using namespace quarvel::ui;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;
namespace stdfs = std::filesystem;

class FirstUseTest : public QObject {
    Q_OBJECT

private slots:
    void returnOnBrowseOpensItsDialog() {
        PromptRecorder prompts;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        for (int tab : {0, 1}) {
            dlg.tabCtrl()->SetCurFocus(tab);
            QPushButton* browse = tab == 0 ? dlg.filePage().browseButton() : dlg.folderPage().browseButton();
            browse->setFocus();
            QTest::keyClick(browse, Qt::Key_Return);
            QTRY_COMPARE(tab == 0 ? prompts.openCalls : prompts.folderCalls, 1);
        }
    }

    void anotherCodesRefusalSaysWhichFitsAndHowToChooseIt() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path doc = temp / "utf8.htm";
        WriteFile(doc, "<dd>\xE3\x83\xA2\xE3\x83\x8A\xE3\x83\xBC\xE3\x80\x80\xE2\x99\xA5\r\n");
        MainWindow dlg;
        qobject_cast<QRadioButton*>(GetDlgItem(&dlg.filePage(), IDC_CODE_SJIS))->setChecked(true);
        dlg.filePage().SetTargetFile(Native(doc));
        dlg.OnGenerate();
        const QString advice =
            QStringLiteral("この文書の文字コードは UTF-8 です。「文字コード」で「UTF-8」か「自動」を選んで、もう一度変換してください。");
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].endsWith(advice), qPrintable(prompts.messages[0]));
        QTRY_VERIFY(dlg.jobSummary());
        QVERIFY(dlg.jobSummary()->findChild<QPlainTextEdit*>()->toPlainText().contains(advice));
    }

    void aFailedJobsMessageStandsOverItsOwnDocument() {
        PromptRecorder prompts;
        TempDir temp;
        WriteFile(temp / "good.htm", "<dd>(^o^)\r\n");
        WriteFile(temp / "utf8.htm", "<dd>\xE2\x99\xA5\r\n");
        MainWindow dlg;
        QStringList over;  // what the progress window said under each message
        GetPrompts().showMessage = [&](QWidget*, const QString&, MessageIcon) { over << dlg.progressWindow().text(); };
        qobject_cast<QRadioButton*>(GetDlgItem(&dlg.filePage(), IDC_CODE_SJIS))->setChecked(true);
        for (const char* name : {"good.htm", "utf8.htm"}) {
            dlg.filePage().SetTargetFile(Native(temp / name));
            dlg.OnGenerate();
        }
        QCOMPARE(over.size(), 1);
        QVERIFY2(over[0].endsWith(QStringLiteral("utf8.htm")), qPrintable(over[0]));
    }

    void searchFindsTheArtAsDrawn() {
        TempDir temp;
        const stdfs::path mlt = temp / "art.mlt";
        // Half-width katakana, a decimal reference to a heart, and plain text.
        WriteFile(mlt, "\xB7\xD7\xB7\xD7\r\n[SPLIT]\r\nI &#9829; AA\r\n[SPLIT]\r\nkira\r\n");
        MainWindow dlg;
        dlg.OpenCollection(Native(mlt));
        QTRY_VERIFY(dlg.templates() && dlg.templates()->CurrentView());
        CollectionView* view = dlg.templates()->CurrentView();
        const struct {
            QString query;
            QList<int> pieces;
        } cases[] = {
            {QStringLiteral("キラ"), {0}},    // as the gallery's page finds it
            {QStringLiteral("ｷﾗ"), {0}},
            {QStringLiteral("♥"), {1}},       // the reference as drawn
            {QStringLiteral("&#9829;"), {1}},  // and as written
            {QStringLiteral("ＫＩＲＡ"), {2}},
        };
        for (const auto& c : cases) {
            view->searchBox()->setText(c.query);
            QList<int> shown;
            for (int row = 0; row < view->pieces()->rowCount(); ++row) shown << view->pieces()->PieceAt(row);
            QCOMPARE(shown, c.pieces);
        }
    }
};

QUARVEL_UI_TEST(FirstUseTest)
#include "first_use_test.moc"
