// The file and folder pages' controls and their common settings: the defaults, the
// code buttons as a screen reader meets them and as the settings file keeps them, keys
// in the embedded common settings, and the browse buttons.

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <filesystem>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::test::Edit;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::ReadFile;
using quarvel::test::TempDir;
namespace stdfs = std::filesystem;

namespace {

void CheckCommonDefaults(QWidget* page) {
    QCOMPARE(Edit(page, IDC_SEPARATOR_START1)->text(), QStringLiteral("<dd>"));
    QCOMPARE(Edit(page, IDC_SEPARATOR_START2)->text(), QString());
    QCOMPARE(Edit(page, IDC_SEPARATOR_START3)->text(), QString());
    QCOMPARE(Edit(page, IDC_SEPARATOR_END1)->text(), QStringLiteral("\\n"));
    QCOMPARE(Edit(page, IDC_SEPARATOR_END2)->text(), QStringLiteral("<dt>"));
    QCOMPARE(Edit(page, IDC_SEPARATOR_END3)->text(), QStringLiteral("</dl>"));
    auto* sjis = qobject_cast<QRadioButton*>(GetDlgItem(page, IDC_CODE_SJIS));
    auto* euc = qobject_cast<QRadioButton*>(GetDlgItem(page, IDC_CODE_EUC));
    QCOMPARE(sjis->text(), QStringLiteral("Shift-Jis"));
    QCOMPARE(euc->text(), QStringLiteral("EUC"));
    QVERIFY(!sjis->isChecked() && !euc->isChecked());
    QCOMPARE(qobject_cast<QRadioButton*>(GetDlgItem(page, IDC_CODE_UTF8))->text(), QStringLiteral("UTF-8"));
    // New settings read each document in the code its bytes tell, as quarvel-cli does.
    QCOMPARE(qobject_cast<QRadioButton*>(GetDlgItem(page, IDC_CODE_AUTO))->text(), QStringLiteral("自動"));
    QVERIFY(qobject_cast<QRadioButton*>(GetDlgItem(page, IDC_CODE_AUTO))->isChecked());
    auto* backup = qobject_cast<QCheckBox*>(GetDlgItem(page, IDC_BACKUP));
    QCOMPARE(backup->text(), QStringLiteral("元ファイルを\"backup\"フォルダに保存する"));
    QVERIFY(backup->isChecked());
}

}  // namespace

class FileFolderControlsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(!QApplication::activeModalWidget()); }

    void freshPagesShowTheirDefaults() {
        MainWindow dlg;
        CheckCommonDefaults(&dlg.filePage());
        CheckCommonDefaults(&dlg.folderPage());
        QCOMPARE(dlg.filePage().targetEdit()->text(), QString());
        QCOMPARE(dlg.folderPage().targetEdit()->text(), QString());
        QCOMPARE(dlg.folderPage().filterEdit()->text(), QStringLiteral("*.htm"));
        QVERIFY(dlg.folderPage().subFolderCheck()->isChecked());
        QCOMPARE(dlg.folderPage().subFolderCheck()->text(), QStringLiteral("サブフォルダも処理する"));
        QCOMPARE(dlg.filePage().browseButton()->text(), QStringLiteral("参照..."));
        QStringList labels;
        for (auto* label : dlg.folderPage().findChildren<QLabel*>()) labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("対象フォルダ(&D)")));
        QVERIFY(labels.contains(QStringLiteral("走査対象ファイル")));
        QVERIFY(labels.contains(QStringLiteral("文字コード(&C)")));

        // Each page has its own common settings, embedded in it.
        QCOMPARE(dlg.filePage().commonSettings().parentWidget(), &dlg.filePage());
        QCOMPARE(dlg.folderPage().commonSettings().parentWidget(), &dlg.folderPage());
        QVERIFY(dlg.filePage().commonSettings().isVisibleTo(&dlg.filePage()));
    }

    void theCodeButtonsAreAGroupNamedByTheirLabel() {
        // A screen reader meets the two buttons in a group named "文字コード", which the
        // label names; Alt+C takes the focus there.
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        for (int tab : {0, 1}) {
            dlg.tabCtrl()->SetCurFocus(tab);
            QWidget* page = dlg.tabCtrl()->GetItemPage(tab);
            for (int id : {IDC_CODE_SJIS, IDC_CODE_EUC, IDC_CODE_UTF8, IDC_CODE_AUTO}) {
                QAccessibleInterface* radio = QAccessible::queryAccessibleInterface(GetDlgItem(page, id));
                QVERIFY(radio);
                QAccessibleInterface* group = radio->parent();
                QCOMPARE(group->role(), QAccessible::Grouping);
                QCOMPARE(group->text(QAccessible::Name), QStringLiteral("文字コード"));
                const auto labels = group->relations(QAccessible::Label);
                QCOMPARE(labels.size(), 1);
                QCOMPARE(labels.first().first->text(QAccessible::Name), QStringLiteral("文字コード(C)"));
            }
            QTest::keyClick(dlg.windowHandle(), Qt::Key_C, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), GetDlgItem(page, IDC_CODE_SJIS));
        }
    }

    void everyCodeIsAButtonKeptInTheSettingsFile() {
        PromptRecorder prompts;
        TempDir temp;
        const stdfs::path ini = temp / "codes.ini";
        const int buttons[] = {IDC_CODE_SJIS, IDC_CODE_EUC, IDC_CODE_UTF8, IDC_CODE_AUTO};
        // The two codes with a number keep it alone; the others are named beside a 0.
        const struct {
            int button;
            const char* stored;
        } cases[] = {
            {IDC_CODE_SJIS, "iCode=0\r\n[TargetFolderPage]"},
            {IDC_CODE_EUC, "iCode=1\r\n[TargetFolderPage]"},
            {IDC_CODE_UTF8, "iCode=0\r\nstrCode=\"utf-8\"\r\n[TargetFolderPage]"},
            {IDC_CODE_AUTO, "iCode=0\r\nstrCode=\"auto\"\r\n[TargetFolderPage]"},
        };
        for (const auto& c : cases) {
            stdfs::remove(ini);
            MainWindow dlg;
            qobject_cast<QRadioButton*>(GetDlgItem(&dlg.filePage(), c.button))->setChecked(true);
            prompts.saveAnswer = Native(ini);
            dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32771"))->trigger();
            QVERIFY2(ReadFile(ini).find(c.stored) != std::string::npos, c.stored);

            MainWindow fresh;
            prompts.openAnswer = Native(ini);
            fresh.menuBar()->findChild<QAction*>(QStringLiteral("cmd32772"))->trigger();
            for (int id : buttons)
                QCOMPARE(qobject_cast<QRadioButton*>(GetDlgItem(&fresh.filePage(), id))->isChecked(), id == c.button);
        }
        QCOMPARE(prompts.messages, QStringList());
    }

    void keysInTheCommonSettingsNeverHideThem() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QLineEdit* start = Edit(&dlg.filePage(), IDC_SEPARATOR_START2);
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), dlg.tabCtrl()->tabBar());
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Return);
        QVERIFY(dlg.filePage().commonSettings().isVisible());
        QVERIFY(dlg.isVisible());
        // Ctrl+PageDown typed in the embedded page switches the tab too.
        start->setFocus();
        QTest::keyClick(start, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 1);
    }

    void browseButtonsFillThePathAndKeepTheRest() {
        PromptRecorder prompts;
        MainWindow dlg;

        prompts.openAnswer = QStringLiteral("/data/スレ.htm");
        QTest::mouseClick(dlg.filePage().browseButton(), Qt::LeftButton);
        QCOMPARE(prompts.openCalls, 1);
        QVERIFY(prompts.openRequest.nameFilters.isEmpty());  // every file is listed
        QCOMPARE(dlg.filePage().targetEdit()->text(), QStringLiteral("/data/スレ.htm"));
        prompts.openAnswer.reset();
        QTest::mouseClick(dlg.filePage().browseButton(), Qt::LeftButton);
        QCOMPARE(dlg.filePage().targetFile(), QStringLiteral("/data/スレ.htm"));

        FolderPage& page = dlg.folderPage();
        dlg.tabCtrl()->SetCurFocus(1);
        page.filterEdit()->setText(QStringLiteral("*.html"));
        page.subFolderCheck()->setChecked(false);
        Edit(&page, IDC_SEPARATOR_START1)->setText(QStringLiteral("<pre>"));
        prompts.folderAnswer = QStringLiteral("/data/ログ");
        QTest::mouseClick(page.browseButton(), Qt::LeftButton);
        QCOMPARE(prompts.folderTitle, QStringLiteral("フォルダーを選択してください"));
        QCOMPARE(prompts.folderPreselect, QString());
        QCOMPARE(page.targetEdit()->text(), QStringLiteral("/data/ログ"));
        QCOMPARE(page.filterEdit()->text(), QStringLiteral("*.html"));
        QVERIFY(!page.subFolderCheck()->isChecked());
        QCOMPARE(Edit(&page, IDC_SEPARATOR_START1)->text(), QStringLiteral("<pre>"));

        // Cancelled: nothing changes.
        prompts.folderAnswer.reset();
        page.targetEdit()->setText(QStringLiteral("typed"));
        QTest::mouseClick(page.browseButton(), Qt::LeftButton);
        QCOMPARE(prompts.folderCalls, 2);
        QCOMPARE(page.targetEdit()->text(), QStringLiteral("typed"));
    }
};

QUARVEL_UI_TEST(FileFolderControlsTest)
#include "file_folder_controls_test.moc"
