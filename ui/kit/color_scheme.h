#pragma once
// The desktop's light or dark colour scheme, followed. Qt takes its palette from the
// desktop's platform theme where there is one; where the desktop says it prefers dark
// (the XDG desktop portal's setting org.freedesktop.appearance color-scheme) and the
// palette Qt has is still a light one, the program takes a dark palette of its own, and
// gives it back when the desktop turns light again.

#include <QDBusConnection>
#include <QObject>
#include <QPalette>

#include <optional>

class QDBusMessage;

namespace quarvel::ui {

// A dark palette for Qt's own style (Fusion).
QPalette DarkPalette();

class ColorSchemeFollower : public QObject {
    Q_OBJECT
public:
    // The portal's values of color-scheme.
    enum Preference : uint { noPreference = 0, dark = 1, light = 2 };

    // Asks the portal on `bus` (without waiting for its answer, and without starting a
    // portal that is not running) and follows its changes.
    explicit ColorSchemeFollower(QDBusConnection bus, QObject* parent = nullptr);
    ~ColorSchemeFollower() override;

    // Whether the program's own dark palette is in force.
    bool darkPaletteSet() const { return darkSet_; }

private slots:
    // SettingChanged(group, key, value) of the portal.
    void OnSettingChanged(const QDBusMessage& message);

private:
    void Follow(uint preference);

    QDBusConnection bus_;
    QPalette before_;
    bool darkSet_ = false;
};

}  // namespace quarvel::ui
