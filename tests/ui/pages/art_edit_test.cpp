// The copy-paste box as a place where art is made: the status line of the caret's x
// and the lines' widths, gaps and line ends filled to a pixel in one step of undo,
// and guides that mark the box and the preview but never a picture.

#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QKeyEvent>
#include <QTest>

#include "render/art_lines.h"
#include "render/blanks.h"
#include "support/window_test_support.h"
#include "ui/kit/picture_view.h"
#include "ui/kit/resources.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"
#include "ui/pages/art_dialogs.h"
#include "ui/pages/art_edit.h"
#include "ui/preview_window.h"

using namespace quarvel::ui;
using quarvel::render::MeasureWritten;
using quarvel::render::WrittenForm;

namespace {

int Width(const QString& line) { return MeasureWritten(line.toStdString(), WrittenForm{}); }

void PutCaret(ArtEdit* edit, int position, int anchor = -1) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(anchor < 0 ? position : anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

// Keys typed, one character each (Japanese ones too).
void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

QString Status(MainWindow& dlg) { return dlg.copyPastePage().statusLine()->text(); }

}  // namespace

class ArtEditTest : public QObject {
    Q_OBJECT

private slots:
    void statusLineFollowsTheCaretAndTheSelection() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        ArtEdit* edit = dlg.copyPastePage().artEdit();
        edit->setFocus();
        Type(edit, QStringLiteral("（´∀｀）"));
        const int width = Width(QStringLiteral("（´∀｀）"));
        QCOMPARE(Status(dlg), QStringLiteral("x %1 px　行の幅 %1 px").arg(width));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Right);
        QCOMPARE(Status(dlg), QStringLiteral("x %1 px　行の幅 %2 px").arg(Width(QStringLiteral("（"))).arg(width));
        // A reference counts from its start; with a selection, the widest line it touches.
        edit->setPlainText(QStringLiteral("a&hearts;\n　　　　　　　b\nc"));
        PutCaret(edit, 3);
        QCOMPARE(Status(dlg), QStringLiteral("x %1 px　行の幅 %2 px").arg(Width(QStringLiteral("a"))).arg(
                                  Width(QStringLiteral("a&hearts;"))));
        PutCaret(edit, 12, 1);
        QVERIFY2(Status(dlg).endsWith(QStringLiteral("選択した行の最大幅 %1 px").arg(Width(QStringLiteral("　　　　　　　b")))),
                 qPrintable(Status(dlg)));
        // Every half-width space counts when the window draws them all.
        edit->setPlainText(QStringLiteral(" a  b"));
        const int collapsed = dlg.copyPastePage().artEdit()->Measure().lineWidth;
        dlg.spaceCheck()->setChecked(false);
        QCOMPARE(edit->Measure().lineWidth,
                 MeasureWritten(" a  b", WrittenForm{quarvel::render::TextEncoding::utf8,
                                                     quarvel::render::TextForm::plain, false}));
        QVERIFY(edit->Measure().lineWidth > collapsed);
    }

    void fillingReachesThePixelInOneStepOfUndo() {
        MainWindow dlg;
        dlg.tabCtrl()->SetCurFocus(2);
        ArtEdit* edit = dlg.copyPastePage().artEdit();
        const QString art = QStringLiteral("┌────┐\n│ぬるぽ　 │\n│ｶﾞｯ　　　　│\n└────┘");
        edit->setPlainText(art);
        // The gap of line 3 to where the bar of the line above starts, which is the
        // start there nearest to where its own bar stands now.
        PutCaret(edit, art.indexOf(QStringLiteral("ｯ")) + 1);
        const int bar = Width(QStringLiteral("│ぬるぽ　 "));
        QCOMPARE(edit->NearestStartInLine(-1), std::optional<int>(bar));
        QCOMPARE(edit->FillGapTo(bar).off, 0);
        QCOMPARE(edit->Measure().x, bar);
        // The gap of line 2 narrowed to a pixel of its own.
        PutCaret(edit, art.indexOf(QStringLiteral("　")));
        QCOMPARE(edit->FillGapTo(bar - 12).off, 0);
        QCOMPARE(edit->Measure().x, bar - 12);
        edit->undo();
        edit->undo();
        QCOMPARE(edit->toPlainText(), art);

        // Every line's end at the widest, or at a pixel; one undo puts all back.
        edit->selectAll();
        const ArtEdit::Filled aligned = edit->AlignRightEdges(std::nullopt);
        QCOMPARE(aligned.target, Width(QStringLiteral("│ｶﾞｯ　　　　│")));  // the widest
        QCOMPARE(aligned.lines, 4);
        QCOMPARE(aligned.missed, 0);
        for (const QString& line : edit->toPlainText().split(QLatin1Char('\n'))) QCOMPARE(Width(line), aligned.target);
        QCOMPARE(edit->textCursor().selectedText().count(QChar(QChar::ParagraphSeparator)), 3);
        edit->undo();
        QCOMPARE(edit->toPlainText(), art);
        PutCaret(edit, 0);
        QCOMPARE(edit->AlignRightEdges(40).missed, 4);  // every line (none selected) is wider
    }

    void guidesMarkTheBoxAndThePreviewNeverThePicture() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        ArtEdit* edit = dlg.copyPastePage().artEdit();
        edit->setPlainText(QStringLiteral("ｷﾀ━(ﾟ∀ﾟ)━!!"));
        edit->setFocus();
        PutCaret(edit, 3);
        dlg.SetLook({quarvel::platform::kBlack, quarvel::platform::kWhite, 7, true});
        const quarvel::platform::Picture before = dlg.copyPastePage().Render(dlg.Look());
        QTest::keyClick(edit, Qt::Key_G, Qt::ControlModifier);
        const int x = Width(QStringLiteral("ｷﾀ━"));
        QCOMPARE(edit->Guides(), std::vector<int>{x});
        dlg.OnPreview();
        QTRY_COMPARE(dlg.preview()->findChild<PictureView*>()->marks(), std::vector<int>{7 + x});
        // Drawn over the picture on the screen; the picture and its file are as they were.
        QCOMPARE(dlg.copyPastePage().Render(dlg.Look()).rgb, before.rgb);
        const QImage shown = dlg.preview()->findChild<PictureView*>()->grab().toImage();
        const QColor mark = dlg.preview()->palette().color(QPalette::Highlight);
        int marked = 0;
        for (int y = 0; y < shown.height(); ++y) marked += shown.pixelColor(7 + x, y) == mark;
        QVERIFY2(marked > shown.height() / 3, qPrintable(QString::number(marked)));
        // The dialog of "空白で位置まで埋める" offers the guide.
        PutCaret(edit, 0);
        FillToDialog ask(&dlg, *edit);
        QCOMPARE(ask.Target(), x);
        QTest::keyClick(edit, Qt::Key_G, Qt::ControlModifier);  // none at the caret: one more
        QCOMPARE(edit->Guides(), (std::vector<int>{0, x}));
        dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd%1").arg(ID_CLEAR_GUIDES))->trigger();
        QVERIFY(edit->Guides().empty());
        QTRY_VERIFY(dlg.preview()->findChild<PictureView*>()->marks().empty());
    }
};

QUARVEL_UI_TEST(ArtEditTest)
#include "art_edit_test.moc"
