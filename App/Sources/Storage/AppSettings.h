#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QtQml/qqmlregistration.h>
#include <sys/types.h>

#include "InputRouter/InputEvent.h"
#include "QuillmereCore/Bytes.h"
#include "ServerProtocol/ServerOptions.h"
#include "Storage/ScratchFolder.h"
#include "VideoPipeline/UpscaleSettings.h"

namespace qm {

struct SettingsFile;

// The user's preferences: read from the settings store once, at creation, and written back the
// moment each is assigned. Observers hear of a change only when the value really changes. GUI
// thread only.
class AppSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the settings")
    // Why changes cannot be stored, in words a user acts on; empty while they can. Once set it
    // stays: the store does not heal while the app runs.
    Q_PROPERTY(QString saveProblem READ saveProblem NOTIFY saveProblemChanged)

public:
    // Stored as the case names.
    enum class HUDStyle { full, compact, hidden };
    Q_ENUM(HUDStyle)
    enum class StreamFrameRateOption { sixty, matchDisplay, phoneMaximum };
    Q_ENUM(StreamFrameRateOption)
    // The video's longer side and bit rate, in steps.
    enum class StreamResolutionOption { fast, balanced, sharp };
    Q_ENUM(StreamResolutionOption)
    // The HUD toolbar's two switches.
    enum class PicturePreset { high, low };
    Q_ENUM(PicturePreset)
    enum class ResolutionPreset { hd, sd };
    Q_ENUM(ResolutionPreset)

private:
    Q_PROPERTY(HUDStyle hudStyle READ hudStyle WRITE setHudStyle NOTIFY hudStyleChanged)
    // Empty when no game was started yet.
    Q_PROPERTY(QString lastPackage READ lastPackage WRITE setLastPackage NOTIFY lastPackageChanged)
    Q_PROPERTY(
        bool developerMode READ developerMode WRITE setDeveloperMode NOTIFY developerModeChanged)
    Q_PROPERTY(bool emulatorWarningShown READ emulatorWarningShown WRITE setEmulatorWarningShown
                   NOTIFY emulatorWarningShownChanged)
    // How often the notice on getting a locked pointer back has shown.
    Q_PROPERTY(int captureNoticeCount READ captureNoticeCount WRITE setCaptureNoticeCount NOTIFY
                   captureNoticeCountChanged)
    Q_PROPERTY(bool autoFullScreen READ autoFullScreen WRITE setAutoFullScreen NOTIFY
                   autoFullScreenChanged)
    Q_PROPERTY(bool keepDisplayAwake READ keepDisplayAwake WRITE setKeepDisplayAwake NOTIFY
                   keepDisplayAwakeChanged)
    Q_PROPERTY(
        bool rawMouseInput READ rawMouseInput WRITE setRawMouseInput NOTIFY rawMouseInputChanged)
    Q_PROPERTY(bool hevcStream READ hevcStream WRITE setHevcStream NOTIFY hevcStreamChanged)
    Q_PROPERTY(bool gpuUpscaling READ gpuUpscaling WRITE setGpuUpscaling NOTIFY gpuUpscalingChanged)
    Q_PROPERTY(double sharpness READ sharpness WRITE setSharpness NOTIFY sharpnessChanged)
    Q_PROPERTY(StreamFrameRateOption streamFrameRate READ streamFrameRate WRITE setStreamFrameRate
                   NOTIFY streamFrameRateChanged)
    Q_PROPERTY(StreamResolutionOption streamResolution READ streamResolution WRITE
                   setStreamResolution NOTIFY streamResolutionChanged)
    Q_PROPERTY(bool lowLatencyEncoder READ lowLatencyEncoder WRITE setLowLatencyEncoder NOTIFY
                   lowLatencyEncoderChanged)
    Q_PROPERTY(PicturePreset picturePreset READ picturePreset WRITE setPicturePreset NOTIFY
                   gpuUpscalingChanged)
    Q_PROPERTY(ResolutionPreset resolutionPreset READ resolutionPreset WRITE setResolutionPreset
                   NOTIFY streamResolutionChanged)

public:
    // The user's store's file: organisation "Tressik", application "Vantorel", an INI file.
    static QString standardFile();
    // The settings over the user's store, as SettingsFile finds its place.
    static std::unique_ptr<AppSettings> standard();

    // Reads every setting; never fails. The store must outlive the settings. A store whose
    // file Qt cannot parse is never written: what could be read of it moves to a scratch store
    // that lasts until the settings go, and the file stays as it is, byte for byte.
    explicit AppSettings(QSettings& defaults, QObject* parent = nullptr);
    // The settings over the file at `file`, which `place` looked at. Qt never opens that file: it
    // works on a copy in a folder of the app's own, and every save replaces the file (or the
    // target of the link there) with that copy, written anew and renamed into place, so that
    // whatever is put at the place meanwhile is never opened. A place that cannot be used gets
    // the defaults, or what could be read, in a scratch store, and is left as it is.
    AppSettings(const QString& file, const SettingsFile& place, QObject* parent = nullptr);
    // Saves what is left to save.
    ~AppSettings() override;

    // The store to read and write the app's other settings in: the one given, or its scratch
    // copy.
    QSettings& defaults() const noexcept { return *defaults_; }
    const QString& saveProblem() const noexcept { return saveProblem_; }
    // The sentence for a store left in that state; empty for none.
    static QString saveProblem(QSettings::Status status, const QString& file);
    // Writes every change now, as at Quit, and says when that failed.
    void save();

    HUDStyle hudStyle() const noexcept { return hudStyle_; }
    const QString& lastPackage() const noexcept { return lastPackage_; }
    bool developerMode() const noexcept { return developerMode_; }
    bool emulatorWarningShown() const noexcept { return emulatorWarningShown_; }
    int captureNoticeCount() const noexcept { return captureNoticeCount_; }
    bool autoFullScreen() const noexcept { return autoFullScreen_; }
    bool keepDisplayAwake() const noexcept { return keepDisplayAwake_; }
    bool rawMouseInput() const noexcept { return rawMouseInput_; }
    bool hevcStream() const noexcept { return hevcStream_; }
    bool gpuUpscaling() const noexcept { return gpuUpscaling_; }
    double sharpness() const noexcept { return sharpness_; }
    StreamFrameRateOption streamFrameRate() const noexcept { return streamFrameRate_; }
    StreamResolutionOption streamResolution() const noexcept { return streamResolution_; }
    bool lowLatencyEncoder() const noexcept { return lowLatencyEncoder_; }

    void setHudStyle(HUDStyle style);
    // Empty removes the stored package.
    void setLastPackage(const QString& package);
    void setDeveloperMode(bool on);
    void setEmulatorWarningShown(bool shown);
    void setCaptureNoticeCount(int count);
    void setAutoFullScreen(bool on);
    void setKeepDisplayAwake(bool on);
    void setRawMouseInput(bool on);
    void setHevcStream(bool on);
    void setGpuUpscaling(bool on);
    // Stored as given; only reading clamps it to 0...0.5.
    void setSharpness(double sharpness);
    void setStreamFrameRate(StreamFrameRateOption option);
    void setStreamResolution(StreamResolutionOption option);
    void setLowLatencyEncoder(bool on);

    PicturePreset picturePreset() const noexcept;
    void setPicturePreset(PicturePreset preset);
    // sd is fast; balanced and sharp both read as hd, and writing hd gives sharp.
    ResolutionPreset resolutionPreset() const noexcept;
    void setResolutionPreset(ResolutionPreset preset);

    // For the renderer, which clamps the sharpness to 0...1.
    UpscaleSettings upscale() const;
    // The encoder's low-latency options when asked for.
    std::vector<std::string> gameVideoCodecOptions() const;
    // The options with this computer's codec, size and bit rate; everything else kept.
    ServerOptions streamOptions(ServerOptions options) const;

    // The input mode remembered for a game: keyboardMouse or keymap only, keyboardMouse when
    // nothing usable is stored.
    InputMode inputMode(const QString& package) const;
    void setInputMode(InputMode mode, const QString& package);

signals:
    void hudStyleChanged();
    void lastPackageChanged();
    void developerModeChanged();
    void emulatorWarningShownChanged();
    void captureNoticeCountChanged();
    void autoFullScreenChanged();
    void keepDisplayAwakeChanged();
    void rawMouseInputChanged();
    void hevcStreamChanged();
    void gpuUpscalingChanged();
    void sharpnessChanged();
    void streamFrameRateChanged();
    void streamResolutionChanged();
    void lowLatencyEncoderChanged();
    void saveProblemChanged();

private:
    template <typename T>
    void assign(T& field, T value, void (AppSettings::*changed)(), const char* key,
                const QVariant& stored);
    // After the event loop's turn, once for every write in it: the store is saved and its
    // status read.
    void checkSaved();
    // The writes of the app's other parts too, which Qt saves on its own.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Replaces the user's file with the store's copy when that changed; false when it failed.
    bool publish();
    // Every change goes to a scratch store from now on, starting with what `readable` holds;
    // `problem` says why.
    void keepInScratch(const QString& problem, const QSettings* readable);
    // Why no folder could be made for the store's copy; nothing when one was.
    // `copy`, when given, is written there as the store's copy.
    std::optional<ScratchFolder::Failure> makeScratchFolder(
        const std::optional<Bytes>& copy = std::nullopt);
    static QString copyProblem(const QString& place, const QString& reason);
    void read(const QSettings& store);

    // A store of the app's own in a folder of its own: the copy of the user's file that Qt works
    // on, or a scratch store. The folder goes after the store written into it.
    std::unique_ptr<ScratchFolder> scratchFolder_;
    std::unique_ptr<QSettings> scratch_;
    QSettings* defaults_ = nullptr;
    // The user's file, as notices name it.
    QString file_;
    // Where the copy is published, with these permission bits; empty for none.
    QString target_;
    mode_t mode_ = 0600;
    // What the file holds since it was read or last written.
    std::optional<Bytes> published_;
    QString saveProblem_;
    bool checkPending_ = false;
    HUDStyle hudStyle_ = HUDStyle::full;
    QString lastPackage_;
    bool developerMode_ = false;
    bool emulatorWarningShown_ = false;
    int captureNoticeCount_ = 0;
    bool autoFullScreen_ = true;
    bool keepDisplayAwake_ = true;
    bool rawMouseInput_ = true;
    bool hevcStream_ = false;
    bool gpuUpscaling_ = false;
    double sharpness_ = 0;
    StreamFrameRateOption streamFrameRate_ = StreamFrameRateOption::sixty;
    StreamResolutionOption streamResolution_ = StreamResolutionOption::fast;
    bool lowLatencyEncoder_ = true;
};

using HUDStyle = AppSettings::HUDStyle;
using StreamFrameRateOption = AppSettings::StreamFrameRateOption;
using StreamResolutionOption = AppSettings::StreamResolutionOption;
using PicturePreset = AppSettings::PicturePreset;
using ResolutionPreset = AppSettings::ResolutionPreset;

// The "Switch HUD" order, wrapping: full, compact, hidden.
HUDStyle next(HUDStyle style) noexcept;
// A click on the HUD: compact from full, full from anything else.
HUDStyle toggledByClick(HUDStyle style) noexcept;

// The frame-rate limit for the server; 0 is the phone's maximum. A display that reports
// below 1 frame per second counts as 60.
int resolve(StreamFrameRateOption option, int displayFps) noexcept;

// 1280, 1600, 1920 pixels on the longer side.
int maxSize(StreamResolutionOption option) noexcept;
// 8, 12, 16 Mbit/s.
int videoBitRate(StreamResolutionOption option) noexcept;
// Sets the size and bit rate and nothing else.
void apply(StreamResolutionOption option, ServerOptions& options) noexcept;

}  // namespace qm
