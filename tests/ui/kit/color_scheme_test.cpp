// The desktop's dark colour scheme followed, through a portal of the test's own on a
// session bus of its own.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>

#include "support/window_test_support.h"
#include "ui/kit/color_scheme.h"

using namespace quarvel::ui;

namespace {

// The settings interface of the XDG desktop portal, answering color-scheme.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 0;
    int reads = 0;

public slots:
    // As the portal answers Read: the value in a variant in a variant.
    QDBusVariant Read(const QString& group, const QString& key) {
        ++reads;
        if (group != QStringLiteral("org.freedesktop.appearance") || key != QStringLiteral("color-scheme"))
            return QDBusVariant(QVariant::fromValue(QDBusVariant(QString())));
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
    }
};

bool IsDark() { return QApplication::palette().color(QPalette::Window).lightness() < 128; }

}  // namespace

class ColorSchemeTest : public QObject {
    Q_OBJECT

private:
    QProcess daemon_;
    QString address_;

private slots:
    void initTestCase() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) QSKIP("no dbus-daemon");
        QVERIFY(daemon_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());
    }

    void cleanupTestCase() {
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void theDesktopsDarkSchemeIsFollowed() {
        const QPalette light = QApplication::palette();
        QVERIFY(!IsDark());
        FakePortal portal;
        portal.scheme = ColorSchemeFollower::dark;
        QDBusConnection portalSide = QDBusConnection::connectToBus(address_, QStringLiteral("portal"));
        QVERIFY(portalSide.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(portalSide.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        const auto changeTo = [&](uint scheme) {
            QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                              QStringLiteral("org.freedesktop.portal.Settings"),
                                                              QStringLiteral("SettingChanged"));
            changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
                    << QVariant::fromValue(QDBusVariant(scheme));
            QVERIFY(portalSide.send(changed));
        };

        ColorSchemeFollower follower(QDBusConnection::connectToBus(address_, QStringLiteral("program")));
        QTRY_VERIFY(IsDark());
        QVERIFY(follower.darkPaletteSet());
        QCOMPARE(portal.reads, 1);
        changeTo(ColorSchemeFollower::light);
        QTRY_VERIFY(!IsDark());
        QCOMPARE(QApplication::palette(), light);
        changeTo(ColorSchemeFollower::dark);
        QTRY_VERIFY(IsDark());
        changeTo(ColorSchemeFollower::noPreference);
        QTRY_VERIFY(!IsDark());
        QVERIFY(!follower.darkPaletteSet());
        portalSide.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void withoutAPortalNothingChanges() {
        ColorSchemeFollower follower(QDBusConnection::connectToBus(address_, QStringLiteral("alone")));
        // The question to the portal was asked and its answer (no such service) taken.
        QVERIFY(follower.findChild<QDBusPendingCallWatcher*>());
        QTRY_VERIFY(!follower.findChild<QDBusPendingCallWatcher*>());
        QVERIFY(!IsDark());
        QVERIFY(!follower.darkPaletteSet());
    }
};

QUARVEL_UI_TEST(ColorSchemeTest)
#include "color_scheme_test.moc"
