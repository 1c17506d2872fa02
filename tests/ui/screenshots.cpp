// Screenshots of the real main window on each tab, for a person to look at. Runs on a
// real display (xvfb-run): shows the window, switches the tabs and grabs the screen.
//   quarvel_screenshots OUTPUT-FOLDER

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "ui/about_box.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/prompts.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/text_codec.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;

namespace {

void Save(QWidget& window, const QString& path) {
    QTest::qWait(300);
    QScreen* screen = window.screen();
    const QRect frame = window.frameGeometry().adjusted(-20, -20, 20, 20);
    screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    MainWindow dlg;
    dlg.SetLook({Color{0x80, 0x30, 0x20}, Color{0xFF, 0xF0, 0xE0}, 0, true});
    dlg.move(40, 40);
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg)) return 1;
    Save(dlg, out + QStringLiteral("/tab0-file.png"));
    dlg.tabCtrl()->SetCurFocus(1);
    dlg.folderPage().targetEdit()->setText(QStringLiteral("/home/user/ログ/"));
    Save(dlg, out + QStringLiteral("/tab1-folder.png"));

    // A real file job on a long document, shot while it runs, then aborted.
    const QString document = out + QStringLiteral("/job/スレ.htm");
    QDir().mkpath(out + QStringLiteral("/job"));
    {
        QString text;
        for (int i = 0; i < 30000; ++i) text += QStringLiteral("<dt>%1<dd>（´・ω・｀）ｼｮﾎﾞｰﾝ\r\n").arg(i);
        QFile file(document);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        file.write(QByteArray::fromStdString(ToCp932(text)));
    }
    dlg.tabCtrl()->SetCurFocus(0);
    dlg.filePage().targetEdit()->setText(document);
    QTimer::singleShot(0, [&] {
        Save(dlg, out + QStringLiteral("/job-running.png"));
        dlg.progressWindow().OnAbort();
    });
    dlg.OnGenerate();
    Save(dlg, out + QStringLiteral("/job-after.png"));
    dlg.tabCtrl()->SetCurFocus(2);
    dlg.copyPastePage().edit()->setPlainText(
        QStringLiteral("　　 ∧＿∧\n　　（　´∀｀）　&hearts; <b>\n　　（　　　　）\n　　｜ ｜　|\n　　（_＿）＿）"));
    Save(dlg, out + QStringLiteral("/tab2-copypaste.png"));
    dlg.resize(dlg.width() + 160, dlg.height() + 120);
    Save(dlg, out + QStringLiteral("/tab2-resized.png"));

    // The picture the generate button writes for the text in the box.
    GetPrompts().askSaveFile = [&out](QWidget*, const SaveFileRequest&) -> std::optional<QString> {
        return out + QStringLiteral("/copypaste-picture.png");
    };
    dlg.OnGenerate();

    AboutBox about(&dlg);
    about.show();
    about.move(dlg.frameGeometry().center() - about.rect().center());
    Save(about, out + QStringLiteral("/about.png"));
    about.hide();

    dlg.progressWindow().BeginJob();
    dlg.progressWindow().ShowCentered();
    dlg.progressWindow().SetProgressText("thread.htm");
    Save(dlg, out + QStringLiteral("/progress.png"));
    dlg.progressWindow().HideProgress();
    return 0;
}
