// The template collections window: a collection opens with every piece that
// render-pieces draws, each shown with exactly its pixels; the search narrows the
// list; a piece goes to the copy-paste box and to the clipboard; collections are
// opened from the menu, by a drop and from the command line, and remembered.

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

#include "render/png_writer.h"
#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/picture_view.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"
#include "ui/piece_list.h"
#include "ui/template_browser.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::platform::Picture;
using quarvel::test::Native;
using quarvel::test::PromptRecorder;
using quarvel::test::TempDir;
using quarvel::test::WriteFile;
namespace stdfs = std::filesystem;

namespace {

// Code page 932, CR LF: named pieces, one of 55 lines, one wider than a picture, an
// empty one (left out), one with a character no font has and one with a reference.
std::string Collection() {
    std::string ast = "[AA][\x83\x82\x83\x69\x81\x5B]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n";
    ast += "[AA][tall]\r\n";
    for (int i = 0; i < 55; ++i) ast += "line " + std::to_string(i) + "\r\n";
    ast += "[AA][wide]\r\n" + std::string(300, '_') + "\r\n";
    ast += "[AA][empty]\r\n  \r\n";
    ast += "[AA][faceless]\r\nend&#xE000;\r\n";
    ast += "[AA][heart]\r\nI &hearts; AA\r\n";
    return ast;
}

// What render-pieces writes for the collection, as pictures in file order.
std::vector<Picture> RenderPieces(const stdfs::path& collection, const stdfs::path& out,
                                  const std::vector<std::string>& look) {
    std::vector<std::string> args{QUARVEL_CLI_PATH, "render-pieces", collection.string(), "-o", out.string()};
    args.insert(args.end(), look.begin(), look.end());
    const auto run = quarvel::test::RunProcess(args);
    std::vector<Picture> pictures;
    if (run.exit_code != 0) return pictures;
    for (const std::string& name : quarvel::test::TreeOf(out)) {
        if (!name.ends_with(".png")) continue;
        Picture picture;
        if (quarvel::test::DecodePng(out / name, picture)) pictures.push_back(std::move(picture));
    }
    return pictures;
}

// The row's picture as the list shows it on the screen, in device pixels.
QImage Shown(QListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index, QAbstractItemView::PositionAtTop);
    if (!QTest::qWaitFor([&] { return !index.data(PieceList::PictureRole).value<QImage>().isNull(); })) return {};
    QCoreApplication::processEvents();  // the layout that the picture's size asked for
    const QImage grabbed = list->viewport()->grab().toImage();
    const qreal ratio = grabbed.devicePixelRatio();
    const QRect target = PieceDelegate::PictureRect(
        list->visualRect(index), index.data(PieceList::PictureSizeRole).toSize(), list->fontMetrics().height(), ratio);
    const int scale = WholeDeviceScale(ratio);
    const QSize size = index.data(PieceList::PictureSizeRole).toSize() * scale;
    return grabbed.copy(QRect((QPointF(target.topLeft()) * ratio).toPoint(), size));
}

// Whether `shown` is `picture` with each pixel a square of scale x scale.
bool SamePixels(const QImage& shown, const Picture& picture, int scale, QString& why) {
    if (shown.size() != QSize(picture.width, picture.height) * scale) {
        why = QStringLiteral("size %1x%2").arg(shown.width()).arg(shown.height());
        return false;
    }
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const Color c = picture.pixel(x / scale, y / scale);
            if (shown.pixel(x, y) != qRgb(c.red, c.green, c.blue)) {
                why = QStringLiteral("pixel %1,%2").arg(x).arg(y);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class TemplateBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void everyPieceShowsExactlyAsRenderPiecesDrawsIt() {
        // In the look the main window shows; on a screen of high density each picture
        // pixel is a square of whole device pixels (QT_SCALE_FACTOR=2: ui.TemplateBrowserTest.scale2).
        PromptRecorder prompts;
        TempDir temp;
        WriteFile(temp / "art.ast", Collection());
        const std::vector<Picture> wanted =
            RenderPieces(temp / "art.ast", temp / "out", {"--fore", "203040", "--back", "F0E8D0", "--margin", "3"});
        QCOMPARE(wanted.size(), std::size_t{5});

        MainWindow dlg;
        dlg.SetLook({Color{0x20, 0x30, 0x40}, Color{0xF0, 0xE8, 0xD0}, 3, true});
        dlg.OpenCollection(Native(temp / "art.ast"));
        TemplateBrowser* browser = dlg.templates();
        QVERIFY(browser && browser->isVisible());
        browser->resize(1200, 1100);
        CollectionView* view = browser->CurrentView();
        QVERIFY(view);
        QCOMPARE(view->list()->model()->rowCount(), 5);
        QCOMPARE(view->statusLine()->text(), QStringLiteral("全 5 件"));
        QCOMPARE(view->list()->model()->index(0, 0).data().toString(), QStringLiteral("1 モナー"));
        const int scale = WholeDeviceScale(view->list()->devicePixelRatioF());
        for (int row = 0; row < 5; ++row) {
            const QImage shown = Shown(view->list(), row);
            QString why;
            QVERIFY2(SamePixels(shown, wanted[static_cast<std::size_t>(row)], scale, why),
                     qPrintable(QStringLiteral("piece %1: %2").arg(row + 1).arg(why)));
        }

        // A new look draws them again.
        dlg.SetLook({Color{0, 0, 0}, Color{0xFF, 0xFF, 0xFF}, 0, true});
        const std::vector<Picture> plain = RenderPieces(temp / "art.ast", temp / "plain", {});
        QString why;
        QVERIFY2(SamePixels(Shown(view->list(), 0), plain[0], scale, why), qPrintable(why));
        QVERIFY(prompts.messages.isEmpty());
    }

    void searchNarrowsAndEnterSendsThePiece() {
        PromptRecorder prompts;
        TempDir temp;
        WriteFile(temp / "art.ast", Collection());
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.copyPastePage().edit()->setPlainText(QStringLiteral("before\n"));
        dlg.copyPastePage().edit()->moveCursor(QTextCursor::End);
        dlg.OpenCollection(Native(temp / "art.ast"));
        CollectionView* view = dlg.templates()->CurrentView();
        QVERIFY(quarvel::test::ShowActive(dlg.templates()));
        const struct {
            const char* query;
            QStringList labels;
        } searches[] = {
            {"tall", {QStringLiteral("2 tall")}},                           // a name
            {"5", {QStringLiteral("5 heart"), QStringLiteral("2 tall")}},   // a number, and text holding it
            {"５", {QStringLiteral("5 heart"), QStringLiteral("2 tall")}},  // typed full width
            {"&hearts;", {QStringLiteral("5 heart")}},                      // text as the file holds it
            {"∀", {}},                                                      // not in any piece
            {"´", {QStringLiteral("1 モナー")}},                            // text of a piece
            {"",
             {QStringLiteral("1 モナー"), QStringLiteral("2 tall"), QStringLiteral("3 wide"),
              QStringLiteral("4 faceless"), QStringLiteral("5 heart")}},
        };
        for (const auto& search : searches) {
            view->searchBox()->setText(QString::fromUtf8(search.query));
            QStringList labels;
            for (int row = 0; row < view->list()->model()->rowCount(); ++row)
                labels << view->list()->model()->index(row, 0).data().toString();
            std::sort(labels.begin(), labels.end(), [](const QString& a, const QString& b) {
                return a.section(QLatin1Char(' '), 0, 0).toInt() > b.section(QLatin1Char(' '), 0, 0).toInt();
            });
            QStringList expected = search.labels;
            std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
                return a.section(QLatin1Char(' '), 0, 0).toInt() > b.section(QLatin1Char(' '), 0, 0).toInt();
            });
            QVERIFY2(labels == expected, search.query);
        }
        QCOMPARE(view->statusLine()->text(), QStringLiteral("全 5 件"));
        view->searchBox()->setFocus();
        QTest::keyClicks(view->searchBox(), QStringLiteral("heart"));
        QCOMPARE(view->statusLine()->text(), QStringLiteral("5 件中 1 件"));

        // Enter in the search goes on to the list, Enter there sends the piece: it goes
        // in where the box's cursor was, and the copy-paste page shows.
        QTest::keyClick(view->searchBox(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), view->list());
        QTest::keyClick(view->list(), Qt::Key_Return);
        QCOMPARE(dlg.copyPastePage().edit()->toPlainText(), QStringLiteral("before\nI &hearts; AA"));
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 2);

        // The clipboard: the text, and the picture as the generate button would save it.
        QTest::keyClick(view->list(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("I &hearts; AA"));
        QTest::keyClick(view->list(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
        QVERIFY(clip && clip->hasFormat(QStringLiteral("image/png")));
        Picture copied;
        QVERIFY(quarvel::test::DecodePngBytes(clip->data(QStringLiteral("image/png")).toStdString(), copied));
        const std::vector<Picture> wanted = RenderPieces(temp / "art.ast", temp / "out", {});
        QCOMPARE(copied.rgb, wanted[4].rgb);
        // At the window's scale, with its transparent background: the file's bytes.
        dlg.scaleBox()->setCurrentIndex(2);
        dlg.transparentCheck()->setChecked(true);
        QTest::keyClick(view->list(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        const auto file = quarvel::render::EncodePng(
            wanted[4], quarvel::render::PngOptionsFor(dlg.Look(), quarvel::render::PngForm::rgb));
        QVERIFY(file.ok());
        QVERIFY(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")).toStdString() == *file);
        QVERIFY(prompts.messages.isEmpty());
    }

    void collectionsOpenFromTheMenuADropAndTheCommandLineAndAreRemembered() {
        PromptRecorder prompts;
        TempDir temp;
        WriteFile(temp / "a.ast", Collection());
        WriteFile(temp / "b.MLT", "(^o^)\r\n[SPLIT]\r\n(-_-)\r\n");
        const QString store = Native(temp / "config" / "recent-collections");
        {
            MainWindow dlg;
            dlg.KeepRecentCollections(store);
            // The menu, Ctrl+O.
            QVERIFY(quarvel::test::ShowActive(&dlg));
            prompts.openAnswer = Native(temp / "a.ast");
            QTest::keyClick(dlg.windowHandle(), Qt::Key_O, Qt::ControlModifier);
            QVERIFY(dlg.templates() && dlg.templates()->CollectionCount() == 1);
            QVERIFY(prompts.openRequest.nameFilters.first().contains(QStringLiteral("*.mlt")));
            // A drop on the main window: opened, never converted.
            dlg.OnDropFiles({temp / "b.MLT"});
            QCOMPARE(dlg.templates()->CollectionCount(), 2);
            QCOMPARE(dlg.templates()->CurrentView()->list()->model()->rowCount(), 2);
            QCOMPARE(quarvel::test::ReadFile(temp / "b.MLT"), "(^o^)\r\n[SPLIT]\r\n(-_-)\r\n");
            QVERIFY(!stdfs::exists(temp / "b"));
            // Opened again: its tab shows, no second one.
            dlg.OpenCollection(Native(temp / "a.ast"));
            QCOMPARE(dlg.templates()->CollectionCount(), 2);
            QCOMPARE(dlg.templates()->tabs()->currentIndex(), 0);
            QCOMPARE(dlg.recentCollections().paths(), (QStringList{Native(temp / "a.ast"), Native(temp / "b.MLT")}));
        }
        // The next run offers them in the file menu, newest first; one that is gone is
        // said and leaves the list.
        MainWindow dlg;
        dlg.KeepRecentCollections(store);
        auto* recent = dlg.menuBar()->findChild<QMenu*>(QStringLiteral("recentCollections"));
        QVERIFY(recent);
        emit recent->aboutToShow();
        QStringList items;
        for (QAction* action : recent->actions()) items << action->text();
        QCOMPARE(items, (QStringList{QStringLiteral("&1 a.ast"), QStringLiteral("&2 b.MLT")}));
        stdfs::remove(temp / "b.MLT");
        recent->actions().at(1)->trigger();
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages.first().startsWith(Native(temp / "b.MLT") + QLatin1Char('\n')));
        QCOMPARE(dlg.recentCollections().paths(), QStringList{Native(temp / "a.ast")});
        QCOMPARE(dlg.templates()->CollectionCount(), 0);

        // From the command line, beside a document.
        MainWindow other;
        WriteFile(temp / "t.htm", "<dd>x\r\n");
        other.OpenPaths({temp / "a.ast", temp / "t.htm"});
        QCOMPARE(other.templates()->CollectionCount(), 1);
        QCOMPARE(other.filePage().targetFile(), Native(temp / "t.htm"));
    }

    void aLargeCollectionShowsItsFirstScreenAtOnce() {
        // 470 pieces: the first screen is drawn, and only what was shown (with what
        // the workers had begun): the rest waits until it is scrolled to, and every
        // screen scrolled to is drawn. (quarvel-window-bench times both.)
        TempDir temp;
        WriteFile(temp / "big.mlt", quarvel::test::LargeCollection());
        MainWindow dlg;
        dlg.OpenCollection(Native(temp / "big.mlt"));
        TemplateBrowser* browser = dlg.templates();
        QVERIFY(quarvel::test::ShowActive(browser));
        QListView* list = browser->CurrentView()->list();
        auto* pieces = browser->CurrentView()->pieces();
        QCOMPARE(pieces->rowCount(), 470);
        const auto screenDrawn = [&] { return quarvel::test::ScreenDrawn(list); };
        QVERIFY(QTest::qWaitFor(screenDrawn, 10000));
        pieces->WaitForWorkers();
        const int drawnFirst = quarvel::test::PicturesDrawn(*pieces);
        QVERIFY2(drawnFirst < 470 / 2, qPrintable(QString::number(drawnFirst)));

        while (list->verticalScrollBar()->value() < list->verticalScrollBar()->maximum()) {
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->value() + list->viewport()->height());
            list->viewport()->repaint();
            QVERIFY(QTest::qWaitFor(screenDrawn, 10000));
        }
    }
};

QUARVEL_UI_TEST(TemplateBrowserTest)
#include "template_browser_test.moc"
