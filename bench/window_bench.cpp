// quarvel-window-bench: what the window takes, measured by Qt Test's benchmark loop
// (BENCHMARKS.md): a redraw of the preview, a key typed while it is open, and a large
// template collection's first screen and scrolling.
//   QT_QPA_PLATFORM=offscreen QUARVEL_FONT= build/bench/quarvel-window-bench [FUNCTION] [-callgrind]

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <string>

#include "support/window_test_support.h"
#include "ui/kit/html_edit.h"
#include "ui/main_window.h"
#include "ui/piece_list.h"
#include "ui/preview_window.h"
#include "ui/template_browser.h"

using namespace quarvel::ui;
using quarvel::test::LargeCollection;
using quarvel::test::ScreenDrawn;
using Opened = quarvel::test::OpenedPreview;

namespace {

// 50 lines at the width cap.
QString WideArt() {
    QString art;
    for (int i = 0; i < 50; ++i) art += QStringLiteral("　（　´∀｀）＜ ぬるぽ").repeated(8) + QLatin1Char('\n');
    return art;
}

}  // namespace

class WindowBench : public QObject {
    Q_OBJECT

private slots:
    // One redraw of a 50-line piece at the width cap.
    void redrawOfFiftyLines() {
        Opened w(WideArt());
        QCOMPARE(w.preview->image().size(), QSize(1024, 900));
        QBENCHMARK { w.preview->Refresh(); }
    }

    // One key typed into the box while the preview is open.
    void keyTypedWithThePreviewOpen() {
        Opened w(WideArt());
        HtmlEdit* edit = w.dlg.copyPastePage().edit();
        QBENCHMARK { QTest::keyClick(edit, Qt::Key_A); }
    }

    // A search typed into a collection of 9400 pieces (the 470 twenty times): the list
    // narrowed to what holds it, in any width, as written or as drawn. The first key
    // makes the search's key of each piece; the benchmark is a key after it.
    void aSearchOfALargeCollection() {
        QTemporaryDir temp;
        const QString path = temp.filePath(QStringLiteral("big.mlt"));
        std::string mlt;
        for (int i = 0; i < 20; ++i) mlt += LargeCollection();
        std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << mlt;
        MainWindow dlg;
        dlg.OpenCollection(path);
        auto* pieces = dlg.templates()->CurrentView()->pieces();
        QCOMPARE(pieces->pieceCount(), 9400);
        QElapsedTimer clock;
        clock.start();
        pieces->SetFilter(QStringLiteral("ﾟ"));
        qInfo("9400 pieces: the first key of a search in %lld ms", static_cast<long long>(clock.elapsed()));
        QBENCHMARK { pieces->SetFilter(QStringLiteral("ﾟ∀ﾟ")); }
        QCOMPARE(pieces->rowCount(), 0);
    }

    // A collection of 470 pieces: the time to its first screen drawn, and to scroll
    // through it a screen at a time.
    void aLargeCollectionsFirstScreen() {
        QTemporaryDir temp;
        const QString path = temp.filePath(QStringLiteral("big.mlt"));
        std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << LargeCollection();
        MainWindow dlg;
        QElapsedTimer clock;
        clock.start();
        dlg.OpenCollection(path);
        TemplateBrowser* browser = dlg.templates();
        browser->show();
        QVERIFY(QTest::qWaitForWindowExposed(browser));
        QListView* list = browser->CurrentView()->list();
        auto* pieces = browser->CurrentView()->pieces();
        const auto screenDrawn = [&] { return ScreenDrawn(list); };
        QVERIFY(QTest::qWaitFor(screenDrawn, 10000));
        const qint64 firstScreen = clock.elapsed();
        pieces->WaitForWorkers();
        const int drawnFirst = quarvel::test::PicturesDrawn(*pieces);
        clock.restart();
        int pages = 0;
        while (list->verticalScrollBar()->value() < list->verticalScrollBar()->maximum()) {
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->value() + list->viewport()->height());
            list->viewport()->repaint();
            QVERIFY(QTest::qWaitFor(screenDrawn, 10000));
            ++pages;
        }
        qInfo("470 pieces: first screen in %lld ms (%d pieces drawn); %d screens scrolled, %.1f ms each",
              static_cast<long long>(firstScreen), drawnFirst, pages,
              pages ? static_cast<double>(clock.elapsed()) / pages : 0.0);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    WindowBench bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "window_bench.moc"
