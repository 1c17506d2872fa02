// The window speaks the language of the locale, one language throughout: its own
// texts as they stand in the resources and the code under a Japanese locale, English
// under C and an English one.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTabBar>
#include <QTest>

#include <clocale>

#include "support/window_test_support.h"
#include "ui/about_box.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/translations.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Language;
using quarvel::test::PromptRecorder;

namespace {

const QString kTranslations = QStringLiteral(QUARVEL_TRANSLATIONS_BUILD_DIR);

// Every text a window and its children show or give screen readers: captions, labels,
// buttons, tabs, menus and accessible names.
QStringList ShownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* widget : widgets) {
        if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
        if (auto* tabs = qobject_cast<QTabBar*>(widget))
            for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
        for (QAction* action : widget->actions()) texts << action->text();
        if (QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(widget))
            texts << a11y->text(QAccessible::Name);
    }
    texts.removeAll(QString());
    return texts;
}

// Kana and kanji, full-width forms and half-width katakana.
bool HasJapanese(const QString& text) {
    static const QRegularExpression japanese(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(japanese);
}

struct Asked {
    QStringList shown;  // of the main window and the about box
    QStringList menuTitles;
    QStringList settingsFilters;
    QString folderTitle;
};

Asked AskTheWindow() {
    Asked asked;
    MainWindow window;
    AboutBox about;
    asked.shown = ShownTexts(window) + ShownTexts(about);
    for (QAction* menu : window.menuBar()->actions()) asked.menuTitles << menu->text();
    PromptRecorder prompts;
    window.OnSaveSettingsAs();
    asked.settingsFilters = prompts.saveRequest.nameFilters;
    window.folderPage().OnBrowseFolder();
    asked.folderTitle = prompts.folderTitle;
    return asked;
}

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        std::setlocale(LC_ALL, "C");
        InstallTranslations(*qApp, Language::japanese, kTranslations);
    }

    void speaksOneLanguageInEachLocale_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<bool>("english");
        QTest::newRow("C") << QByteArray("C") << true;
        QTest::newRow("ja_JP.UTF-8") << QByteArray("ja_JP.UTF-8") << false;
        QTest::newRow("en_US.UTF-8") << QByteArray("en_US.UTF-8") << true;
    }

    void speaksOneLanguageInEachLocale() {
        QFETCH(QByteArray, locale);
        QFETCH(bool, english);
        // The texts as the resources and the code have them: Qt's Japanese installed,
        // and no translation of the window's.
        InstallTranslations(*qApp, Language::japanese, QStringLiteral("/nonexistent"));
        const Asked sources = AskTheWindow();

        qputenv("LC_ALL", locale);
        qputenv("LANGUAGE", "");
        QVERIFY2(std::setlocale(LC_ALL, ""), "the locale is not installed (locales-all)");
        QCOMPARE(quarvel::platform::LocaleLanguage(), english ? Language::english : Language::japanese);
        InstallTranslations(*qApp, quarvel::platform::LocaleLanguage(), kTranslations);
        const Asked asked = AskTheWindow();

        if (!english) {
            QCOMPARE(asked.shown, sources.shown);
            QCOMPARE(asked.menuTitles, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("編集(&E)"),
                                                     QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
            QCOMPARE(asked.settingsFilters,
                     (QStringList{QStringLiteral("設定ファイル (*.ini)"), QStringLiteral("All Files (*.*)")}));
            QCOMPARE(asked.folderTitle, QStringLiteral("フォルダーを選択してください"));
            return;
        }
        for (const QString& text : asked.shown) QVERIFY2(!HasJapanese(text), qPrintable(text));
        QCOMPARE(asked.menuTitles,
                 (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&Help")}));
        QCOMPARE(asked.settingsFilters,
                 (QStringList{QStringLiteral("Settings files (*.ini)"), QStringLiteral("All files (*.*)")}));
        QCOMPARE(asked.folderTitle, QStringLiteral("Choose a folder"));
    }
};

QUARVEL_UI_TEST(WindowLanguageTest)
#include "window_language_test.moc"
