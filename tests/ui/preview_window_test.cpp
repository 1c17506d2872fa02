// The preview window and "画像をコピー": what they show and copy are the pixels the
// generate button saves, in the look the main window shows.

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "render/text_prep.h"
#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/picture_image.h"
#include "ui/kit/picture_view.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"
#include "ui/preview_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::platform::Picture;
using quarvel::render::RenderReport;

using quarvel::test::PromptRecorder;
using quarvel::test::RedrawPending;

namespace {

using Opened = quarvel::test::OpenedPreview;

QImage Rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB888); }

QImage Argb(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

// Each pixel as a k x k block, alpha and colour as they are.
QImage Blocks(const QImage& image, int k) {
    QImage out(image.size() * k, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) out.setPixel(x, y, image.pixel(x / k, y / k));
    }
    return out;
}

// What the generate button writes, decoded with its alpha (a transparent pixel keeps
// its colour).
QImage Generated(MainWindow& dlg, const QString& path) {
    PromptRecorder prompts;
    prompts.saveAnswer = path;
    QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
    QFile file(path);
    if (!prompts.messages.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
    Picture saved;
    std::vector<std::uint8_t> alpha;
    if (!quarvel::test::DecodePngBytes(file.readAll().toStdString(), saved, &alpha)) return {};
    QImage image = Argb(PictureImage(saved));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (alpha[static_cast<std::size_t>(y) * image.width() + x] == 0) line[x] &= RGB_MASK;
        }
    }
    return image;
}

QString Art(int lines) {
    QString art;
    for (int i = 0; i < lines; ++i) art += QStringLiteral("　 ∧＿∧ %1 （　´∀｀）<b> &hearts;\n").arg(i);
    return art;
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void showsAndCopiesTheSavedPixelsInEachLook() {
        struct Case {
            const char* name;
            QString text;
            Color text_color, back_color;
            QString margin;  // as typed in the box, not yet taken by any command
            bool collapse;
            bool twoColourFile = false;  // changes the file, not its pixels
            int scale = 1;               // the file's; the preview shows it at 100 %
            bool transparent = false;
        };
        const Case cases[] = {
            {"the program's look", Art(3), {0, 0, 0}, {255, 255, 255}, QStringLiteral("0"), true},
            {"colours, a margin, spaces kept",
             QStringLiteral("  a   b  <br>\n&#9829;?"),
             {0x99, 0x66, 0x33},
             {0xFF, 0xEE, 0xCC},
             QStringLiteral("7"),
             false},
            {"two-colour files at the widest margin",
             Art(60),
             {255, 255, 255},
             {0, 0, 128},
             QStringLiteral("100"),
             true,
             true},
            {"twice the size, transparent", Art(2), {0, 0, 0}, {0, 0, 0}, QStringLiteral("3"), true, false, 2, true},
            {"four times the size, transparent, two colours",
             Art(1),
             {0x99, 0x66, 0x33},
             {255, 255, 255},
             QStringLiteral("0"),
             true,
             true,
             4,
             true},
        };
        QTemporaryDir temp;
        for (const Case& c : cases) {
            Opened w(c.text);
            w.dlg.SetLook({c.text_color, c.back_color, 0, true});
            w.dlg.marginEdit()->setText(c.margin);
            w.dlg.spaceCheck()->setChecked(c.collapse);
            if (c.twoColourFile) w.dlg.indexedPngAction()->trigger();
            w.dlg.scaleBox()->setCurrentIndex(c.scale - 1);
            w.dlg.transparentCheck()->setChecked(c.transparent);
            QCOMPARE(w.dlg.PictureForm(),
                     c.twoColourFile ? quarvel::render::PngForm::indexed : quarvel::render::PngForm::rgb);
            // Look changes in the main window reach the preview after the delay.
            QVERIFY2(RedrawPending(*w.preview), c.name);
            QTRY_VERIFY2(!RedrawPending(*w.preview), c.name);
            const QImage shown = Argb(w.preview->image());
            QCOMPARE(w.preview->image().hasAlphaChannel(), c.transparent);
            // Each pixel as a block of the file's scale, at 100 %.
            QCOMPARE(w.preview->scrollArea()->widget()->size(),
                     ScaledSize(shown.size(), c.scale * WholeDeviceScale(w.preview->devicePixelRatioF()),
                                w.preview->devicePixelRatioF()));

            const QImage saved = Generated(w.dlg, temp.filePath(QString::fromUtf8(c.name) + QStringLiteral(".png")));
            QVERIFY2(!saved.isNull(), c.name);
            QVERIFY2(Blocks(shown, c.scale) == saved, c.name);
            QVERIFY2(w.preview->statusLine()->text().startsWith(
                         QStringLiteral("%1 × %2 ピクセル").arg(saved.width()).arg(saved.height())),
                     c.name);

            QGuiApplication::clipboard()->clear();
            QTest::mouseClick(w.preview->copyButton(), Qt::LeftButton);
            QVERIFY2(Argb(QGuiApplication::clipboard()->image()) == saved, c.name);
            QGuiApplication::clipboard()->clear();
            w.dlg.copyPastePage().copyPictureAction()->trigger();
            QVERIFY2(Argb(QGuiApplication::clipboard()->image()) == saved, c.name);
            // The PNG on the clipboard is the saved file's bytes.
            QFile file(temp.filePath(QString::fromUtf8(c.name) + QStringLiteral(".png")));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")) == file.readAll(),
                     c.name);
        }
    }

    void onlyTheLinesThatShowAreRendered() {
        // What the page hands the renderer, cut after the last line that can show,
        // makes the same picture and report as the box's whole text.
        const QString fifty = Art(50);
        const QString cases[] = {
            Art(49) + QStringLiteral("last"),
            fifty,
            fifty + QStringLiteral("\t\n\t\r\n"),
            fifty + QStringLiteral("\n\t\nmore"),
            fifty + QStringLiteral("x"),
            Art(49) + QStringLiteral("\n") + QString(QChar(0)) + QStringLiteral("hidden"),
            Art(20) + QString(QChar(0)) + fifty,
            fifty + QString(QChar(0)) + QStringLiteral("x"),
            QStringLiteral("a\u2028b\u00A0c\u2029") + fifty + QStringLiteral("\u2028\t"),
            QStringLiteral("a\u2028").repeated(49) + QStringLiteral("\u2028z"),
        };
        MainWindow dlg;
        CopyPastePage& page = dlg.copyPastePage();
        for (const QString& text : cases) {
            const QByteArray name = QByteArray::number(&text - cases);
            page.edit()->setPlainText(text);
            RenderReport whole, shown;
            const Picture expected = quarvel::render::RenderPicture(
                quarvel::render::PreparePlainText(page.Text()).c_str(), quarvel::render::Appearance{}, &whole);
            const Picture got = page.Render(quarvel::render::Appearance{}, &shown);
            QVERIFY2(got.rgb == expected.rgb && got.width == expected.width, name.constData());
            QVERIFY2(shown.linesCut == whole.linesCut, name.constData());
            QVERIFY2(shown.missingGlyphs == whole.missingGlyphs, name.constData());
        }
    }

    void statusLineSaysTheSizeAndWhatIsLeftOut() {
        const QString wide = QString(300, QLatin1Char('W'));
        struct Case {
            QString text;
            QString status;
        };
        const Case cases[] = {
            {QStringLiteral("abc"), QStringLiteral("24 × 18 ピクセル")},
            {QString(), QStringLiteral("1 × 1 ピクセル")},
            {Art(51), QStringLiteral("192 × 900 ピクセル　警告: the art has more than 50 lines; only the first 50 are "
                                     "drawn (split it into pieces)")},
            {wide, QStringLiteral("1024 × 18 ピクセル　警告: the art is wider than 1024 pixels; what lies beyond is "
                                  "not drawn (shorten its longest lines)")},
            {QStringLiteral("a&#xF0000;"),
             QStringLiteral(
                 "16 × 18 ピクセル　警告: no installed font has U+F0000, drawn blank (install a font that has it)")},
            {QStringLiteral("&#xF0000;") + wide + QStringLiteral("\n") + Art(55),
             QStringLiteral(
                 "1024 × 900 ピクセル　警告: the art has more than 50 lines; only the first 50 are drawn (split it "
                 "into pieces)、"
                 "the art is wider than 1024 pixels; what lies beyond is not drawn (shorten its longest lines)、"
                 "no installed font has U+F0000, drawn blank (install a font that has it)")},
        };
        for (const Case& c : cases) {
            Opened w(c.text);
            QCOMPARE(w.preview->statusLine()->text(), c.status);
        }
    }

    void redrawsAfterTypingStopsAndClosingChangesNothing() {
        Opened w(Art(50));
        const QImage before = w.preview->image();
        QScrollArea* scroll = w.preview->scrollArea();
        QVERIFY(scroll->widget()->size() == before.size());  // 1:1
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);

        w.dlg.activateWindow();
        HtmlEdit* edit = w.dlg.copyPastePage().edit();
        edit->moveCursor(QTextCursor::Start);
        QTest::keyClicks(edit, QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
        // Each key waits for nothing: the picture is drawn once typing pauses.
        QVERIFY(RedrawPending(*w.preview));
        QCOMPARE(w.preview->image(), before);
        QTRY_VERIFY(w.preview->image().width() > before.width());

        const quarvel::render::Appearance look = w.dlg.Look();
        const std::string text = w.dlg.copyPastePage().Text();
        const QString margin = w.dlg.marginEdit()->text();
        w.preview->close();
        QVERIFY(!w.preview->isVisible());
        QVERIFY(w.dlg.isVisible());
        QCOMPARE(w.dlg.copyPastePage().Text(), text);
        QCOMPARE(w.dlg.marginEdit()->text(), margin);
        QVERIFY(w.dlg.Look().textColor == look.textColor && w.dlg.Look().margin == look.margin);
        // Hidden, it does not draw; shown again, it shows the text as it is now.
        edit->setPlainText(QStringLiteral("x"));
        QVERIFY(!RedrawPending(*w.preview));
        w.dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32775"))->trigger();
        QCOMPARE(w.preview->image().size(), QSize(8, 18));
    }

    void zoomKeepsWholeDevicePixelsPerPicturePixel() {
        // The window opens as large as the picture at 100 %; each zoom shows every
        // picture pixel as a square of whole device pixels: at 100 % as many as the
        // screen's scale (2 on a screen of twice the density, ui.PreviewWindowTest.scale2),
        // so the picture has the size of everything around it; at 200 % twice that;
        // "fit" the most that lets the whole picture show.
        Opened w(Art(6));
        const QImage picture = Rgb(w.preview->image());
        const qreal ratio = w.preview->devicePixelRatioF();
        const int base = WholeDeviceScale(ratio);
        const QSize logical = ScaledSize(picture.size(), base, ratio);
        QVERIFY(w.preview->scrollArea()->viewport()->width() >= logical.width());
        QVERIFY(w.preview->scrollArea()->viewport()->height() >= logical.height());
        QCOMPARE(w.preview->zoomBox()->currentText(), QStringLiteral("100%"));

        const auto shown = [&] {
            QImage image = Rgb(w.preview->scrollArea()->widget()->grab().toImage());
            image.setDevicePixelRatio(1);  // counted in device pixels
            return image;
        };
        const auto scaled = [&](int k) {
            return picture.scaled(picture.size() * k, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        };
        QCOMPARE(shown(), scaled(base));

        const struct {
            const char* what;
            std::function<void()> act;
            int scale;  // device pixels per picture pixel
        } steps[] = {
            {"Ctrl++", [&] { QTest::keyClick(w.preview, Qt::Key_Plus, Qt::ControlModifier); }, 2 * base},
            {"Ctrl+=", [&] { QTest::keyClick(w.preview, Qt::Key_Equal, Qt::ControlModifier); }, 3 * base},
            {"Ctrl+-", [&] { QTest::keyClick(w.preview, Qt::Key_Minus, Qt::ControlModifier); }, 2 * base},
            {"Ctrl+0", [&] { QTest::keyClick(w.preview, Qt::Key_0, Qt::ControlModifier); }, base},
            {"Ctrl+- at 100 %", [&] { QTest::keyClick(w.preview, Qt::Key_Minus, Qt::ControlModifier); }, base},
            {"200 % chosen",
             [&] { w.preview->zoomBox()->setCurrentIndex(w.preview->zoomBox()->findText(QStringLiteral("200%"))); },
             2 * base},
        };
        for (const auto& step : steps) {
            step.act();
            QTRY_VERIFY2(shown().size() == picture.size() * step.scale, step.what);
            QVERIFY2(shown() == scaled(step.scale), step.what);
        }
        // Fit, in a window grown by twice the picture: the largest whole scale at which
        // it shows whole, and at least three times the picture's own.
        w.preview->zoomBox()->setCurrentIndex(0);
        w.preview->resize(w.preview->size() + logical * 2);
        QTRY_VERIFY(shown().width() >= picture.width() * 3 * base);
        const int fit = shown().width() / picture.width();
        QCOMPARE(shown(), scaled(fit));
        const QSize room = w.preview->scrollArea()->viewport()->size() * ratio;
        QVERIFY(picture.width() * fit <= room.width() + 1 && picture.height() * fit <= room.height() + 1);
        QVERIFY(picture.width() * (fit + 1) > room.width() + 1 || picture.height() * (fit + 1) > room.height() + 1);
        // The text and the status line stay those of the picture itself.
        QVERIFY(w.preview->statusLine()->text().startsWith(
            QStringLiteral("%1 × %2 ピクセル").arg(picture.width()).arg(picture.height())));
    }

    void refusedMarginCopiesNothing() {
        PromptRecorder prompts;
        Opened w(QStringLiteral("abc"));
        const QImage shown = w.preview->image();
        w.dlg.marginEdit()->setText(QStringLiteral("500"));
        QTRY_VERIFY(!RedrawPending(*w.preview));
        QCOMPARE(w.preview->image(), shown);  // the last good margin
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        QTest::mouseClick(w.preview->copyButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("0 から 100 までの整数を入力してください。")});
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    }
};

QUARVEL_UI_TEST(PreviewWindowTest)
#include "preview_window_test.moc"
