#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <QtQml/qqmlregistration.h>

#include "Editor/KeymapController.h"
#include "Storage/AppSettings.h"

namespace qm {

// What the stream toolbar decides: the resolution switch and the input mode menu's label,
// entries and layout section. Mode requests go to the stream window's input coordinator; the
// restart is the owner's, asked for by a signal. GUI thread only.
class StreamToolbarModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)
    // The stream window's keymap controller; none without one.
    Q_PROPERTY(qm::KeymapController* keymap READ keymap WRITE setKeymap NOTIFY keymapChanged)
    // The app model as the input coordinator's model (an InputModel): its mode requester takes
    // the menu's requests.
    Q_PROPERTY(QObject* inputModel READ inputModel WRITE setInputModel NOTIFY inputModelChanged)
    // Whether a stream window input coordinator takes mode requests.
    Q_PROPERTY(bool canRequestMode READ canRequestMode WRITE setCanRequestMode NOTIFY
                   canRequestModeChanged)
    Q_PROPERTY(QString indicatorText READ indicatorText NOTIFY keymapStateChanged)
    Q_PROPERTY(bool showsLayouts READ showsLayouts NOTIFY keymapStateChanged)
    // The mode entries, in the order requestMode() numbers them.
    Q_PROPERTY(QStringList modeTitles READ modeTitles CONSTANT)
    // The entry of the mode in use; -1 without a keymap controller or in a mode not offered.
    Q_PROPERTY(int currentModeEntry READ currentModeEntry NOTIFY keymapStateChanged)

public:
    using QObject::QObject;

    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);
    KeymapController* keymap() const { return keymap_; }
    void setKeymap(KeymapController* keymap);
    QObject* inputModel() const { return inputModel_; }
    void setInputModel(QObject* model);
    bool canRequestMode() const noexcept { return canRequestMode_; }
    void setCanRequestMode(bool can);
    QString indicatorText() const;
    bool showsLayouts() const;
    static QStringList modeTitles();
    int currentModeEntry() const;

    // The current preset again changes nothing; another is stored and the stream restarted.
    Q_INVOKABLE void chooseResolution(qm::AppSettings::ResolutionPreset preset);
    // The menu's entry `entry`, to the input coordinator if there is one.
    Q_INVOKABLE void requestMode(int entry);

signals:
    void settingsChanged();
    void keymapChanged();
    void inputModelChanged();
    void canRequestModeChanged();
    void keymapStateChanged();
    // The owner restarts the running stream with the settings' size and bit rate.
    void streamRestartRequested();

private:
    QPointer<AppSettings> settings_;
    QPointer<KeymapController> keymap_;
    QPointer<QObject> inputModel_;
    bool canRequestMode_ = false;
};

}  // namespace qm
