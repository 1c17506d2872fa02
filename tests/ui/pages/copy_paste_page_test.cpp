// The copy-paste page: the text-art box keeps characters outside code page 932 as
// references, and Generate writes the same picture as the command-line tool.

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/color_swatch.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/screen_font.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::test::PromptRecorder;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class CopyPastePageTest : public QObject {
    Q_OBJECT

private slots:
    void pasteWritesReferencesAndKeepsRealQuestionMarks() {
        MainWindow dlg;
        HtmlEdit* edit = dlg.copyPastePage().edit();
        edit->setPlainText(QStringLiteral("[sel]"));
        edit->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("a\u2665b?c\r\n\U0001F600d"));
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->toPlainText(), QStringLiteral("a&hearts;b?c\n&#128512;d"));

        // A paste with nothing on the clipboard still removes the selection.
        QGuiApplication::clipboard()->clear();
        edit->selectAll();
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->toPlainText(), QString());
    }

    void inputMethodCommitIsInsertedOnceWithReferences() {
        MainWindow dlg;
        HtmlEdit* edit = dlg.copyPastePage().edit();
        edit->setPlainText(QStringLiteral("<>"));
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(1);
        edit->setTextCursor(cursor);
        QInputMethodEvent event;
        event.setCommitString(QStringLiteral("\u2665あ?"));
        QApplication::sendEvent(edit, &event);
        QCOMPARE(edit->toPlainText(), QStringLiteral("<&hearts;あ?>"));
    }

    void keysInTheBoxNeitherHideNorSwitch() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        HtmlEdit* edit = dlg.copyPastePage().edit();
        edit->setFocus();
        QCOMPARE(QApplication::focusWidget(), edit);
        QTest::keyClicks(edit, QStringLiteral("ab"));
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Escape);
        QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(edit->toPlainText(), QStringLiteral("ab\n"));
        QVERIFY(dlg.copyPastePage().isVisible());
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 2);
        // A character the code page lacks, typed as a key, goes in as its reference.
        QKeyEvent composed(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("\u00E9"));
        QApplication::sendEvent(edit, &composed);
        QCOMPARE(edit->toPlainText(), QStringLiteral("ab\n&eacute;"));
        // Ctrl+Tab types a tab; Tab leaves the box for the next control, as in a dialog
        // box, so that the keyboard is never caught in it.
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(edit->toPlainText(), QStringLiteral("ab\n&eacute;\t"));
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Tab);
        QCOMPARE(edit->toPlainText(), QStringLiteral("ab\n&eacute;\t"));
        QVERIFY(QApplication::focusWidget() != edit);
    }

    void theBoxsTextOutlivesTheProgram() {
        // What is typed is kept in the draft file a moment after typing pauses and when
        // the window closes, and the next window starts with it: references, line
        // breaks and all. An emptied box leaves an empty draft.
        quarvel::test::TempDir temp;
        const QString draft = quarvel::test::Native(temp / "state" / "quarvel" / "draft.txt");
        const QString typed = QStringLiteral("　　∧＿∧\n　（´・ω・｀）&hearts;\n<b>\t");
        {
            MainWindow dlg;
            dlg.KeepDraft(draft);
            QVERIFY(quarvel::test::ShowActive(&dlg));
            QVERIFY(dlg.copyPastePage().edit()->toPlainText().isEmpty());
            dlg.copyPastePage().edit()->setPlainText(typed);
            QTRY_COMPARE(ReadAll(draft), typed.toUtf8());  // saved while the window is open
            dlg.copyPastePage().edit()->appendPlainText(QStringLiteral("x"));
            dlg.close();  // saved at once
            QVERIFY(dlg.isHidden());
            QCOMPARE(ReadAll(draft), (typed + QStringLiteral("\nx")).toUtf8());
        }
        {
            MainWindow dlg;
            dlg.KeepDraft(draft);
            QCOMPARE(dlg.copyPastePage().edit()->toPlainText(), typed + QStringLiteral("\nx"));
            dlg.copyPastePage().edit()->clear();
        }  // destroyed without a close: still saved
        QCOMPARE(ReadAll(draft), QByteArray());
        MainWindow dlg;
        dlg.KeepDraft(draft);
        QCOMPARE(dlg.copyPastePage().edit()->toPlainText(), QString());
    }

    void screenFontFollowsResolution() {
        // 12 points at the screen's resolution, the picture's faces, no smoothing.
        const QFont at96 = MakeScreenFont(96);
        QCOMPARE(at96.pixelSize(), 16);
        QCOMPARE(at96.families().value(0), QStringLiteral("Mona"));
        QVERIFY(at96.families().contains(QStringLiteral("IPAPGothic")));
        QCOMPARE(at96.weight(), QFont::Normal);
        QVERIFY(!at96.italic());
        QCOMPARE(at96.styleStrategy(), QFont::NoAntialias);
        QCOMPARE(MakeScreenFont(120).pixelSize(), 20);
        QCOMPARE(MulDiv(12, 96, 72), 16);
        QCOMPARE(MulDiv(-7, 1, 2), -4);  // halves away from zero
    }

    void boxTextInTheRenderersForm() {
        // The box's text in code page 932; PreparePlainText makes it renderer input
        // (tests/render/text_prep_test.cpp).
        MainWindow dlg;
        dlg.copyPastePage().edit()->setPlainText(QStringLiteral("あ\n\u2665"));
        QCOMPARE(dlg.copyPastePage().Text(), std::string("\x82\xA0\r\n&hearts;"));
    }

    // At each scale, opaque and transparent: the file the window saves is the one the
    // command-line tool writes with the same look; and the settings the window saves
    // bring the scale and the background back into another window.
    void generateWritesWhatTheCommandLineToolWrites_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("transparent");
        for (int scale = 1; scale <= quarvel::render::kMaxScale; ++scale) {
            for (const bool transparent : {false, true}) {
                QTest::addRow("%dx%s", scale, transparent ? " transparent" : "") << scale << transparent;
            }
        }
    }

    void generateWritesWhatTheCommandLineToolWrites() {
        QFETCH(int, scale);
        QFETCH(bool, transparent);
        PromptRecorder prompts;
        QTemporaryDir temp;
        const QString text = QStringLiteral("　　 ∧＿∧\n　（　´∀｀）<b> &hearts; &#9829;\n  a   b  <br>\n\u2665?");
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        dlg.copyPastePage().edit()->setPlainText(WithReferencesForTest(text));
        // A transparent background over white, as --back none draws it.
        const Color back = transparent ? Color{0xFF, 0xFF, 0xFF} : Color{0xFF, 0xEE, 0xCC};
        dlg.SetLook({Color{0x99, 0x66, 0x33}, back, 0, true});
        dlg.marginEdit()->setText(QStringLiteral("7"));
        dlg.spaceCheck()->setChecked(false);
        dlg.scaleBox()->setCurrentIndex(scale - 1);
        if (transparent) QTest::mouseClick(dlg.transparentCheck(), Qt::LeftButton);
        QCOMPARE(dlg.Look().scale, scale);
        QCOMPARE(dlg.Look().transparentBack, transparent);
        prompts.saveAnswer = temp.filePath(QStringLiteral("画像.png"));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.saveCalls, 1);
        QCOMPARE(prompts.saveRequest.defaultSuffix, QStringLiteral("png"));
        QCOMPARE(prompts.saveRequest.nameFilters,
                 (QStringList{QStringLiteral("PNG画像 (*.png)"), QStringLiteral("All Files (*.*)")}));
        QVERIFY(prompts.messages.isEmpty());
        const QByteArray fromWindow = ReadAll(*prompts.saveAnswer);
        QVERIFY(fromWindow.startsWith("\x89PNG"));

        const QString settings = temp.filePath(QStringLiteral("設定.ini"));
        prompts.saveAnswer = settings;
        dlg.OnSaveSettingsAs();
        MainWindow other;
        prompts.openAnswer = settings;
        other.OnLoadSettings();
        QCOMPARE(other.Look(), dlg.Look());
        QCOMPARE(other.scaleBox()->currentText(), QStringLiteral("%1倍").arg(scale));
        QCOMPARE(other.transparentCheck()->isChecked(), transparent);
        QCOMPARE(static_cast<ColorSwatch*>(other.backSwatch())->transparent(), transparent);

        const QString input = temp.filePath(QStringLiteral("art.txt"));
        QFile in(input);
        QVERIFY(in.open(QIODevice::WriteOnly));
        in.write(QString(text).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toUtf8());
        in.close();
        const QString fromCli = temp.filePath(QStringLiteral("cli.png"));
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARVEL_FONT"), QString());
        cli.setProcessEnvironment(env);
        const QStringList args = {QStringLiteral("render"),
                                  input,
                                  QStringLiteral("-o"),
                                  fromCli,
                                  QStringLiteral("--fore"),
                                  QStringLiteral("996633"),
                                  QStringLiteral("--back"),
                                  transparent ? QStringLiteral("none") : QStringLiteral("FFEECC"),
                                  QStringLiteral("--margin"),
                                  QStringLiteral("7"),
                                  QStringLiteral("--no-space-sim"),
                                  QStringLiteral("--scale"),
                                  QString::number(scale)};
        cli.start(QStringLiteral(QUARVEL_CLI_PATH), args);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(ReadAll(fromCli) == fromWindow);
    }

    void cancelledOrUnopenableFile() {
        PromptRecorder prompts;
        QTemporaryDir temp;
        MainWindow dlg;
        dlg.tabCtrl()->SetCurFocus(2);
        dlg.copyPastePage().edit()->setPlainText(QStringLiteral("x"));
        dlg.OnGenerate();  // cancelled: nothing happens
        QCOMPARE(prompts.saveCalls, 1);
        QVERIFY(prompts.messages.isEmpty());

        const QString unopenable = temp.filePath(QStringLiteral("無い/x.png"));
        prompts.saveAnswer = unopenable;
        dlg.OnGenerate();
        QCOMPARE(prompts.messages,
                 QStringList{unopenable + QStringLiteral("\ncould not open the file\nNo such file or directory")});
        QVERIFY(!QFile::exists(unopenable));
    }

    void pictureThatCannotBeWrittenIsReported() {
        // A disk that fills up (here a file-size limit) while the picture is written:
        // the user hears of it, and no partial file is left.
        PromptRecorder prompts;
        QTemporaryDir temp;
        MainWindow dlg;
        dlg.tabCtrl()->SetCurFocus(2);
        QString art;
        for (int line = 0; line < 40; ++line) art += QString(100, QLatin1Char("AW@#"[line % 4])) + QLatin1Char('\n');
        dlg.copyPastePage().edit()->setPlainText(art);
        const QString path = temp.filePath(QStringLiteral("x.png"));
        prompts.saveAnswer = path;
        {
            quarvel::test::FileSizeLimit limit(1000);
            dlg.OnGenerate();
        }
        QCOMPARE(prompts.messages, QStringList{path + QStringLiteral("\ncould not write the file\nFile too large")});
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

private:
    static QString WithReferencesForTest(const QString& text) {
        // The box holds references, never the characters themselves.
        QString held = text;
        return held.replace(QStringLiteral("\u2665"), QStringLiteral("&hearts;"));
    }
};

QUARVEL_UI_TEST(CopyPastePageTest)
#include "copy_paste_page_test.moc"
