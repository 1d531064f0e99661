#include "AppSettings.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QMetaEnum>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

#include "Desktop/ShownPath.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/UnicodeText.h"
#include "Storage/ScratchFolder.h"
#include "Storage/SettingsFile.h"
#include "Storage/StoredValue.h"

namespace qm {

namespace {

namespace Key {
constexpr const char* hudStyle = "hudStyle";
constexpr const char* hudEnabled = "hudEnabled";
constexpr const char* lastPackage = "lastPackage";
constexpr const char* developerMode = "developerMode";
constexpr const char* emulatorWarningShown = "emulatorWarningShown";
constexpr const char* captureNoticeCount = "captureNoticeCount";
constexpr const char* autoFullScreen = "autoFullScreen";
constexpr const char* keepDisplayAwake = "keepDisplayAwake";
constexpr const char* rawMouseInput = "rawMouseInput";
constexpr const char* hevcStream = "hevcStream";
constexpr const char* metalFXUpscaling = "metalFXUpscaling";
constexpr const char* sharpness = "sharpness";
constexpr const char* streamFrameRate = "streamFrameRate";
constexpr const char* streamResolution = "streamResolution";
constexpr const char* lowLatencyEncoder = "lowLatencyEncoder";
}  // namespace Key

template <typename E>
QString rawText(E value) {
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value)));
}

// Exactly a case name: no other letter case, no scope prefix.
template <typename E>
std::optional<E> fromRawText(const QVariant& stored) {
    if (stored.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    const QString text = stored.toString();
    const QMetaEnum names = QMetaEnum::fromType<E>();
    for (int i = 0; i < names.keyCount(); ++i) {
        if (text == QLatin1String(names.key(i))) {
            return static_cast<E>(names.value(i));
        }
    }
    return std::nullopt;
}

bool boolWithDefault(const QSettings& store, const char* key, bool fallback) {
    return store.contains(key) ? StoredValue::toBool(store.value(key)) : fallback;
}

HUDStyle readHudStyle(const QSettings& store) {
    if (const auto style = fromRawText<HUDStyle>(store.value(Key::hudStyle))) {
        return *style;
    }
    // Before the three styles there was a switch; only its false hides the HUD.
    const QVariant enabled = store.value(Key::hudEnabled);
    const bool off = enabled.typeId() == QMetaType::Bool
                         ? !enabled.toBool()
                         : enabled.typeId() == QMetaType::QString &&
                               (enabled.toString() == u"false" || enabled.toString() == u"0");
    return off ? HUDStyle::hidden : HUDStyle::full;
}

QString inputModeKey(const QString& package) {
    return QStringLiteral("inputMode.") + package;
}

std::filesystem::path pathOf(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

// What `contents` hold, as Qt reads a settings file, without a folder to write them to: from a
// file in memory, read whole before this returns.
std::unique_ptr<QSettings> settingsIn(const Bytes& contents) {
    const FileDescriptor file(::memfd_create("Vantorel.ini", MFD_CLOEXEC));
    if (!file ||
        ::write(file.get(), contents.data(), contents.size()) != ssize_t(contents.size())) {
        return nullptr;
    }
    auto settings = std::make_unique<QSettings>(QStringLiteral("/proc/self/fd/%1").arg(file.get()),
                                                QSettings::IniFormat);
    settings->allKeys();  // read while the file is open
    return settings;
}

}  // namespace

QString AppSettings::standardFile() {
    // Where Qt keeps the user's INI store of the organisation's application.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tressik/Vantorel.ini");
}

std::unique_ptr<AppSettings> AppSettings::standard() {
    const QString file = standardFile();
    return std::make_unique<AppSettings>(file, SettingsFile::look(file));
}

AppSettings::AppSettings(QSettings& defaults, QObject* parent)
    : QObject(parent), defaults_(&defaults), file_(defaults.fileName()) {
    if (defaults.status() == QSettings::FormatError) {
        // Qt would write back only what it could parse, over the user's file.
        keepInScratch(saveProblem(QSettings::FormatError, file_), &defaults);
    } else {
        saveProblem_ = saveProblem(defaults.status(), file_);
    }
    defaults_->installEventFilter(this);
    read(*defaults_);
}

AppSettings::AppSettings(const QString& file, const SettingsFile& place, QObject* parent)
    : QObject(parent), file_(file) {
    switch (place.kind) {
        case SettingsFile::Kind::usable:
            if (const auto failure = makeScratchFolder(place.contents)) {
                // What was read still applies; only its changes cannot be kept.
                keepInScratch(copyProblem(failure->place, failure->reason),
                              place.contents ? settingsIn(*place.contents).get() : nullptr);
                break;
            }
            scratch_ = std::make_unique<QSettings>(
                QDir(scratchFolder_->path()).filePath(ScratchFolder::copyName),
                QSettings::IniFormat);
            defaults_ = scratch_.get();
            if (scratch_->status() == QSettings::FormatError) {
                saveProblem_ = saveProblem(QSettings::FormatError, file);
            } else {
                target_ = place.target;
                mode_ = place.mode;
                published_ = place.contents;
            }
            break;
        case SettingsFile::Kind::unreadable:
            keepInScratch(saveProblem(QSettings::FormatError, file), nullptr);
            break;
        case SettingsFile::Kind::link:
            keepInScratch(
                tr("Settings cannot be saved: %1 is a symbolic link to %2. Changes last until "
                   "Vantorel quits; move that link away to start afresh.")
                    .arg(shownPath(file), QString::fromStdString(UnicodeText::excerpt(
                                              place.linkText.toStdString(), 200))),
                nullptr);
            break;
        case SettingsFile::Kind::other:
            keepInScratch(tr("Settings cannot be saved: %1 is not a regular file. Changes last "
                             "until Vantorel quits; move it away to start afresh.")
                              .arg(shownPath(file)),
                          nullptr);
            break;
    }
    defaults_->installEventFilter(this);
    read(*defaults_);
}

AppSettings::~AppSettings() {
    if (saveProblem_.isEmpty()) {
        defaults_->sync();
        publish();
    }
}

std::optional<ScratchFolder::Failure> AppSettings::makeScratchFolder(
    const std::optional<Bytes>& copy) {
    auto made = ScratchFolder::make(copy);
    if (auto* folder = std::get_if<std::unique_ptr<ScratchFolder>>(&made)) {
        scratchFolder_ = std::move(*folder);
        return std::nullopt;
    }
    return std::get<ScratchFolder::Failure>(std::move(made));
}

QString AppSettings::copyProblem(const QString& place, const QString& reason) {
    Log::session().warn("cannot keep a working copy of the settings in {}: {}", place.toStdString(),
                        reason.toStdString());
    return tr("Settings cannot be saved: Vantorel cannot keep its working copy of them in %1 (%2). "
              "Changes last until Vantorel quits; make room there and start Vantorel again.")
        .arg(shownPath(place), reason);
}

void AppSettings::keepInScratch(const QString& problem, const QSettings* readable) {
    saveProblem_ = problem;
    if (!scratchFolder_) {
        makeScratchFolder();
    }
    // With nowhere to keep it, the scratch file goes where none can be made and its changes
    // last in memory.
    const QString scratchFile =
        (scratchFolder_ ? scratchFolder_->path() : QStringLiteral("/dev/null")) + u'/' +
        ScratchFolder::copyName;
    scratch_ = std::make_unique<QSettings>(scratchFile, QSettings::IniFormat);
    if (readable) {
        for (const QString& key : readable->allKeys()) {
            scratch_->setValue(key, readable->value(key));
        }
    }
    defaults_ = scratch_.get();
}

void AppSettings::read(const QSettings& store) {
    hudStyle_ = readHudStyle(store);
    lastPackage_ = store.value(Key::lastPackage).typeId() == QMetaType::QString
                       ? store.value(Key::lastPackage).toString()
                       : QString();
    developerMode_ = StoredValue::toBool(store.value(Key::developerMode));
    emulatorWarningShown_ = StoredValue::toBool(store.value(Key::emulatorWarningShown));
    captureNoticeCount_ = int(std::clamp<qint64>(
        StoredValue::toInteger(store.value(Key::captureNoticeCount)).value_or(0), 0, 1000));
    autoFullScreen_ = boolWithDefault(store, Key::autoFullScreen, true);
    keepDisplayAwake_ = boolWithDefault(store, Key::keepDisplayAwake, true);
    rawMouseInput_ = boolWithDefault(store, Key::rawMouseInput, true);
    hevcStream_ = boolWithDefault(store, Key::hevcStream, false);
    gpuUpscaling_ =
        boolWithDefault(store, Key::metalFXUpscaling, UpscaleSettings::defaultSettings.enabled);
    sharpness_ = store.contains(Key::sharpness)
                     ? std::clamp(StoredValue::toDouble(store.value(Key::sharpness)), 0.0, 0.5)
                     : UpscaleSettings::defaultSettings.sharpness;
    streamFrameRate_ = fromRawText<StreamFrameRateOption>(store.value(Key::streamFrameRate))
                           .value_or(StreamFrameRateOption::sixty);
    streamResolution_ = fromRawText<StreamResolutionOption>(store.value(Key::streamResolution))
                            .value_or(StreamResolutionOption::fast);
    lowLatencyEncoder_ = boolWithDefault(store, Key::lowLatencyEncoder, true);
}

QString AppSettings::saveProblem(QSettings::Status status, const QString& file) {
    switch (status) {
        case QSettings::NoError:
            break;
        case QSettings::AccessError:
            return tr("Settings cannot be saved: %1 cannot be written. Changes last until "
                      "Vantorel quits; check that the folder exists, is yours and has free space.")
                .arg(shownPath(file));
        case QSettings::FormatError:
            return tr("Settings cannot be saved: %1 is not a settings file Vantorel can read. "
                      "Changes last until Vantorel quits; move that file away to start afresh.")
                .arg(shownPath(file));
    }
    return {};
}

void AppSettings::save() {
    defaults_->sync();
    if (!saveProblem_.isEmpty()) {
        return;
    }
    const QSettings::Status status = defaults_->status() == QSettings::NoError && !publish()
                                         ? QSettings::AccessError
                                         : defaults_->status();
    saveProblem_ = saveProblem(status, file_);
    if (!saveProblem_.isEmpty()) {
        Log::session().warn("{}", saveProblem_.toStdString());
        emit saveProblemChanged();
    }
}

bool AppSettings::publish() {
    if (target_.isEmpty()) {
        return true;
    }
    try {
        std::optional<Bytes> copy =
            AtomicFile::read(pathOf(defaults_->fileName()), SettingsFile::maxSize);
        if (!copy || copy == published_) {
            return true;
        }
        QDir().mkpath(QFileInfo(target_).path());
        AtomicFile::write(pathOf(target_), *copy, mode_);
        published_ = std::move(copy);
        return true;
    } catch (const std::filesystem::filesystem_error& error) {
        Log::session().warn("cannot save the settings: {}", error.code().message());
        return false;
    }
}

void AppSettings::checkSaved() {
    if (checkPending_ || !saveProblem_.isEmpty()) {
        return;
    }
    checkPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            checkPending_ = false;
            save();
        },
        Qt::QueuedConnection);
}

bool AppSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == defaults_ && event->type() == QEvent::UpdateRequest) {
        checkSaved();
    }
    return false;
}

template <typename T>
void AppSettings::assign(T& field, T value, void (AppSettings::*changed)(), const char* key,
                         const QVariant& stored) {
    const bool differs = field != value;
    field = std::move(value);
    if (differs) {
        emit(this->*changed)();
    }
    defaults_->setValue(key, stored);
    checkSaved();
}

void AppSettings::setHudStyle(HUDStyle style) {
    assign(hudStyle_, style, &AppSettings::hudStyleChanged, Key::hudStyle, rawText(style));
}

void AppSettings::setLastPackage(const QString& package) {
    const bool differs = lastPackage_ != package;
    lastPackage_ = package;
    if (differs) {
        emit lastPackageChanged();
    }
    if (package.isEmpty()) {
        defaults_->remove(Key::lastPackage);
    } else {
        defaults_->setValue(Key::lastPackage, package);
    }
    checkSaved();
}

void AppSettings::setDeveloperMode(bool on) {
    assign(developerMode_, on, &AppSettings::developerModeChanged, Key::developerMode, on);
}

void AppSettings::setEmulatorWarningShown(bool shown) {
    assign(emulatorWarningShown_, shown, &AppSettings::emulatorWarningShownChanged,
           Key::emulatorWarningShown, shown);
}

void AppSettings::setCaptureNoticeCount(int count) {
    assign(captureNoticeCount_, count, &AppSettings::captureNoticeCountChanged,
           Key::captureNoticeCount, count);
}

void AppSettings::setAutoFullScreen(bool on) {
    assign(autoFullScreen_, on, &AppSettings::autoFullScreenChanged, Key::autoFullScreen, on);
}

void AppSettings::setKeepDisplayAwake(bool on) {
    assign(keepDisplayAwake_, on, &AppSettings::keepDisplayAwakeChanged, Key::keepDisplayAwake, on);
}

void AppSettings::setRawMouseInput(bool on) {
    assign(rawMouseInput_, on, &AppSettings::rawMouseInputChanged, Key::rawMouseInput, on);
}

void AppSettings::setHevcStream(bool on) {
    assign(hevcStream_, on, &AppSettings::hevcStreamChanged, Key::hevcStream, on);
}

void AppSettings::setGpuUpscaling(bool on) {
    assign(gpuUpscaling_, on, &AppSettings::gpuUpscalingChanged, Key::metalFXUpscaling, on);
}

void AppSettings::setSharpness(double sharpness) {
    assign(sharpness_, sharpness, &AppSettings::sharpnessChanged, Key::sharpness, sharpness);
}

void AppSettings::setStreamFrameRate(StreamFrameRateOption option) {
    assign(streamFrameRate_, option, &AppSettings::streamFrameRateChanged, Key::streamFrameRate,
           rawText(option));
}

void AppSettings::setStreamResolution(StreamResolutionOption option) {
    assign(streamResolution_, option, &AppSettings::streamResolutionChanged, Key::streamResolution,
           rawText(option));
}

void AppSettings::setLowLatencyEncoder(bool on) {
    assign(lowLatencyEncoder_, on, &AppSettings::lowLatencyEncoderChanged, Key::lowLatencyEncoder,
           on);
}

AppSettings::PicturePreset AppSettings::picturePreset() const noexcept {
    return gpuUpscaling_ ? PicturePreset::high : PicturePreset::low;
}

void AppSettings::setPicturePreset(PicturePreset preset) {
    setGpuUpscaling(preset == PicturePreset::high);
}

AppSettings::ResolutionPreset AppSettings::resolutionPreset() const noexcept {
    return streamResolution_ == StreamResolutionOption::fast ? ResolutionPreset::sd
                                                             : ResolutionPreset::hd;
}

void AppSettings::setResolutionPreset(ResolutionPreset preset) {
    setStreamResolution(preset == ResolutionPreset::sd ? StreamResolutionOption::fast
                                                       : StreamResolutionOption::sharp);
}

UpscaleSettings AppSettings::upscale() const {
    return UpscaleSettings(gpuUpscaling_, sharpness_, UpscaleSettings::defaultSettings.filter);
}

std::vector<std::string> AppSettings::gameVideoCodecOptions() const {
    return lowLatencyEncoder_ ? ServerOptions::lowLatencyVideoCodecOptions()
                              : std::vector<std::string>{};
}

ServerOptions AppSettings::streamOptions(ServerOptions options) const {
    options.videoCodec = hevcStream_ ? VideoCodec::h265 : VideoCodec::h264;
    apply(streamResolution_, options);
    return options;
}

InputMode AppSettings::inputMode(const QString& package) const {
    const std::optional<qint64> stored =
        StoredValue::toInteger(defaults_->value(inputModeKey(package)));
    // Gamepad modes are not remembered per game.
    if (stored && *stored == rawValue(InputMode::keymap)) {
        return InputMode::keymap;
    }
    return InputMode::keyboardMouse;
}

void AppSettings::setInputMode(InputMode mode, const QString& package) {
    defaults_->setValue(inputModeKey(package), rawValue(mode));
    checkSaved();
}

HUDStyle next(HUDStyle style) noexcept {
    switch (style) {
        case HUDStyle::full:
            return HUDStyle::compact;
        case HUDStyle::compact:
            return HUDStyle::hidden;
        case HUDStyle::hidden:
            return HUDStyle::full;
    }
    return HUDStyle::full;
}

HUDStyle toggledByClick(HUDStyle style) noexcept {
    return style == HUDStyle::full ? HUDStyle::compact : HUDStyle::full;
}

int resolve(StreamFrameRateOption option, int displayFps) noexcept {
    switch (option) {
        case StreamFrameRateOption::sixty:
            return 60;
        case StreamFrameRateOption::matchDisplay:
            return displayFps < 1 ? 60 : displayFps;
        case StreamFrameRateOption::phoneMaximum:
            return 0;
    }
    return 60;
}

int maxSize(StreamResolutionOption option) noexcept {
    return 1280 + 320 * static_cast<int>(option);
}

int videoBitRate(StreamResolutionOption option) noexcept {
    return 8'000'000 + 4'000'000 * static_cast<int>(option);
}

void apply(StreamResolutionOption option, ServerOptions& options) noexcept {
    options.maxSize = maxSize(option);
    options.videoBitRate = videoBitRate(option);
}

}  // namespace qm
