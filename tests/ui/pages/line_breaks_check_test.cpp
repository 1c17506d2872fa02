// "改行で行を分ける" of the file and the folder page: reached by its access letter and
// named for screen readers, kept in its page's section of a settings file, and taken
// by the job, whose pictures are those of quarvel-cli --line-breaks.

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"
#include "ui/pages/common_settings_page.h"

using namespace quarvel::ui;
using quarvel::test::Edit;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::ReadFile;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;
namespace stdfs = std::filesystem;

namespace {

// Single quotes: a value of a settings file holds no double quotes of its own.
constexpr char kPre[] = "<pre class='aa'>";
const std::string kPage = std::string("<p>1</p>\n") + kPre + "\n  /\\_/\\\n ( o.o )\n  > ^ <\n</pre>\n";

QCheckBox* LineBreaks(QWidget* page) { return qobject_cast<QCheckBox*>(GetDlgItem(page, IDC_LINE_BREAKS)); }

}  // namespace

class LineBreaksCheckTest : public QObject {
    Q_OBJECT

private slots:
    void theCheckBoxReachesTheJob() {
        const struct {
            int tab;
            const char* section;
            const char* otherSection;
        } pages[] = {{0, "[TargetFilePage]", "[TargetFolderPage]"}, {1, "[TargetFolderPage]", "[General]"}};
        for (const auto& p : pages) {
            PromptRecorder prompts;
            TempDir temp;
            MainWindow dlg;
            QVERIFY(quarvel::test::ShowActive(&dlg));
            dlg.tabCtrl()->SetCurFocus(p.tab);
            QWidget* page = dlg.tabCtrl()->GetItemPage(p.tab);
            QCheckBox* check = LineBreaks(page);
            QVERIFY(check && !check->isChecked());
            QCOMPARE(QAccessible::queryAccessibleInterface(check)->text(QAccessible::Name),
                     QStringLiteral("改行で行を分ける"));
            // Alt+L ticks it (an animated click), on the page shown.
            QTest::keyClick(dlg.windowHandle(), Qt::Key_L, Qt::AltModifier);
            QTRY_VERIFY(check->isChecked());
            QCOMPARE(QApplication::focusWidget(), check);
            Edit(page, IDC_SEPARATOR_START1)->setText(QString::fromLatin1(kPre));
            Edit(page, IDC_SEPARATOR_END1)->setText(QStringLiteral("</pre>"));

            // Saved in the page's section only, and loaded into that page only.
            const stdfs::path ini = temp / "s.ini";
            prompts.saveAnswer = Native(ini);
            dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32771"))->trigger();
            const std::string saved = ReadFile(ini);
            const std::size_t key = saved.find("bLineBreaks=TRUE\r\n");
            QVERIFY2(key != std::string::npos && key > saved.find(p.section) && key < saved.find(p.otherSection),
                     saved.c_str());
            QCOMPARE(saved.find("bLineBreaks", key + 1), std::string::npos);
            MainWindow loaded;
            prompts.openAnswer = Native(ini);
            loaded.menuBar()->findChild<QAction*>(QStringLiteral("cmd32772"))->trigger();
            QVERIFY(LineBreaks(&loaded.filePage())->isChecked() == (p.tab == 0));
            QVERIFY(LineBreaks(&loaded.folderPage())->isChecked() == (p.tab == 1));

            // The loaded window's job draws what quarvel-cli --line-breaks draws.
            stdfs::create_directories(temp / "w");
            stdfs::create_directories(temp / "cli");
            WriteFile(temp / "w" / "t.htm", kPage);
            WriteFile(temp / "cli" / "t.htm", kPage);
            loaded.tabCtrl()->SetCurFocus(p.tab);
            if (p.tab == 0)
                loaded.filePage().targetEdit()->setText(Native(temp / "w" / "t.htm"));
            else
                loaded.folderPage().targetEdit()->setText(Native(temp / "w"));
            loaded.OnGenerate();
            const quarvel::test::ProcessResult cli =
                quarvel::test::RunProcess({QUARVEL_CLI_PATH, "convert", "--line-breaks", "--start", kPre, "--end",
                                           "</pre>", (temp / "cli" / "t.htm").string()});
            QCOMPARE(cli.exit_code, 0);
            QCOMPARE(QString::fromStdString(ReadFile(temp / "w" / "t.htm")),
                     QString::fromStdString(ReadFile(temp / "cli" / "t.htm")));
            QVERIFY(ReadFile(temp / "w" / "t" / "001.png") == ReadFile(temp / "cli" / "t" / "001.png"));
            QCOMPARE(prompts.messages, QStringList());
        }
    }
};

QUARVEL_UI_TEST(LineBreaksCheckTest)
#include "line_breaks_check_test.moc"
