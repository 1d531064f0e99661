#include "SimulatedPhone.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <array>
#include <filesystem>
#include <ranges>
#include <utility>

#include <fmt/format.h>

#include "BenchClip.h"
#include "DeviceLink/DeviceInfo.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/PrivateFolders.h"
#include "Storage/Bundle.h"
#include "Support/MediaFixtures.h"

namespace qm::test {

namespace {

using namespace std::chrono_literals;

constexpr const char* serial = "QM7S2K41C09";
// Serial, manufacturer, model, Android release and SDK, as getprop prints them.
constexpr const char* deviceInfo = "QM7S2K41C09\nQuillmere\nQM Seven\n14\n34\n";
constexpr const char* jarName = "quillmere-server.jar";
// Some hundred keys.
constexpr std::size_t maxAllowedKeysSize = 100'000;

struct Listed {
    const char* package;
    const char* label;
    bool isGame;
};

// Invented titles, among them one with an accent and one too long for a tile.
constexpr std::array<Listed, 14> listed{{
    {"com.emberlane.skyforgerally", "Skyforge Rally", true},
    {"com.saltmoor.tidebreaker", "Tidebreaker", true},
    {"com.hollowpine.lanternknights", "Lantern Knights", true},
    {"com.quietorbit.drifters", "Orbit Drifters", true},
    {"com.mosswood.tactics", "Mosswood Tactics", true},
    {"com.harbourlight.neonharbor", "Neon Harbor", true},
    {"com.emberlane.ashencrown", "Ashen Crown", true},
    {"com.pocketworks.galaxy", "Pocket Galaxy", true},
    {"com.glyphhouse.runesprint", "Rune Sprint", true},
    {"com.frostline.arena", "Frostline Arena", true},
    {"com.brasskettle.caferush", "Café Rush", true},
    {"com.ninefold.lighthouse", "The Chronicles of the Ninefold Lighthouse Keepers", true},
    {"com.quillmere.notes", "Notes", false},
    {"com.quillmere.weather", "Weather", false},
}};

// A launcher icon: the label's first letter on a rounded square of the app's own colour.
Bytes iconPNG(const QString& label, int index) {
    constexpr int size = 128;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromHsv((index * 47) % 360, 170, 210));
        painter.drawRoundedRect(QRectF(4, 4, size - 8, size - 8), 28, 28);
        QFont font;
        font.setPixelSize(72);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, label.left(1));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(png.begin(), png.end());
}

// "finger 2 down at 960,540 of 1920x1080"; the mouse is finger -1, a plain touch -2.
std::string touchLine(const InjectTouch& touch) {
    const char* action = touch.action == MotionAction::down ? "down"
                         : touch.action == MotionAction::up ? "up"
                                                            : "move";
    return fmt::format("finger {} {} at {},{} of {}x{}", std::int64_t(touch.pointerID), action,
                       touch.position.x, touch.position.y, touch.position.screenWidth,
                       touch.position.screenHeight);
}

FakeServerScript phoneScript(const std::string& clipFile, SimulatedPhone::TouchLog touches,
                             const std::vector<VideoCodec>& codecs) {
    FakeServerScript script;
    script.deviceName = "QM Seven";
    script.startupOutput = "[server] INFO: Device: QM Seven (Android 14)\n";
    script.refusedWhileStarting = 1;
    for (const VideoCodec codec : codecs) {
        const std::string file = SimulatedPhone::clipFile(clipFile, codec);
        makeBenchClip(file, "-b:v 8M", codec);
        script.videoClips[codec] =
            std::make_shared<const FakeVideoClip>(loadFile(file), codec, VideoSize{1920, 1080}, 60);
    }
    script.pacedVideo = true;
    script.loopVideo = true;
    script.videoOnPhoneClock = true;
    script.pacedAudio = true;
    script.loopAudio = true;
    script.audioPackets = 50;
    // The phone's monotonic clock started some 47 minutes before this machine's.
    script.clockOffsetNanos = 2'837'512'904'113;
    script.pongDelay = 2ms;
    script.pongJitter = 3ms;
    script.pongClockAt = 0.7;
    // Warm and throttling a little: "moderate" is Android's thermal status 2.
    script.telemetry =
        PhoneTelemetry{2, 46.5, 71, 38.25, false, PhoneEncoderStats{60, 5200, 7400, 11800, 540000}};
    if (touches) {
        script.onControl = [touches = std::move(touches)](const ControlMessage& message) {
            if (const auto* touch = std::get_if<InjectTouch>(&message)) {
                touches(touchLine(*touch));
            }
        };
    }
    return script;
}

}  // namespace

std::string SimulatedPhone::clipFile(const std::string& h264File, VideoCodec codec) {
    return codec == VideoCodec::h264
               ? h264File
               : std::filesystem::path(h264File).replace_extension(".h265").string();
}

SimulatedPhone::SimulatedPhone(const std::string& clipFile, TouchLog touches,
                               const std::vector<VideoCodec>& codecs)
    : script_(phoneScript(clipFile, std::move(touches), codecs)) {}

SimulatedPhone::~SimulatedPhone() = default;

const std::vector<AppInfo>& SimulatedPhone::apps() {
    static const std::vector<AppInfo> all = [] {
        // Played an hour apart, the first most recently.
        constexpr std::int64_t lastPlayed = 1'765'000'000'000;
        std::vector<AppInfo> made;
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const QString label = QString::fromUtf8(listed[i].label);
            made.push_back(AppInfo{listed[i].package, listed[i].label, listed[i].isGame,
                                   lastPlayed - std::int64_t(i) * 3'600'000,
                                   iconPNG(label, int(i))});
        }
        return made;
    }();
    return all;
}

AppModelEnvironment SimulatedPhone::environment(QSettings& defaults) {
    script_.apps = apps();
    allowedKeys_ = QFile::encodeName(QDir::home().filePath("phone/adb_keys")).toStdString();
    DeviceLinkOptions usb;
    usb.events = usb_.events();
    usb.openTransport = usb_.opener();
    AppModelEnvironment environment = AppModelEnvironment::standard(defaults, std::move(usb));

    // The application's bundle, but for the server jar: the phone runs its own server, and a
    // jar the user put in the build tree must never reach a phone that is not real.
    const QDir real(Bundle::main().root());
    for (const QFileInfo& entry : real.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (entry.fileName() != QLatin1String(jarName)) {
            QFile::link(entry.absoluteFilePath(), bundle_.filePath(entry.fileName()));
        }
    }
    QFile jar(bundle_.filePath(QLatin1String(jarName)));
    if (jar.open(QIODevice::WriteOnly)) {
        jar.write("Stand-in for the device server: the simulated phone runs its own.\n");
    }
    environment.bundle = Bundle(bundle_.path());
    // The bus is the simulated one: connecting by itself is what the app is here for.
    environment.hostedByTests = false;
    return environment;
}

bool SimulatedPhone::plugIn() {
    if (device_) {
        return false;
    }
    FakeUsbDevice::Options options;
    options.adb.approval = FakeAdbScript::Approval::onSignal;
    options.adb.banner =
        "device::ro.product.model=QM Seven;ro.product.name=qmseven;features=shell_v2,cmd";
    options.prepare = [this](FakePhone& phone) { prepare(phone); };
    const auto identity =
        UsbAdbDevice::make(UsbInterfaceID::make(1, address_++, 1, 0), serial, "QM Seven");
    device_ = usb_.attach(identity, std::move(options));
    return true;
}

bool SimulatedPhone::pullCable() {
    if (!device_) {
        return false;
    }
    usb_.detach(device_->identity().interfaceID);
    unplugged_.push_back(std::exchange(device_, nullptr));
    return true;
}

bool SimulatedPhone::allow() {
    const std::shared_ptr<FakePhone> phone = session();
    const std::optional<Bytes> key = phone ? phone->adb().pendingKey() : std::nullopt;
    if (!key || !phone->adb().approvePendingKey()) {
        return false;
    }
    // Kept without its NUL, a line a key.
    Bytes keys = AtomicFile::read(allowedKeys_, maxAllowedKeysSize).value_or(Bytes());
    keys.insert(keys.end(), key->begin(), key->end() - 1);
    keys.push_back('\n');
    createPrivateFolders(allowedKeys_.parent_path());
    AtomicFile::write(allowedKeys_, keys, 0600);
    return true;
}

bool SimulatedPhone::killServer() {
    const std::shared_ptr<FakePhone> phone = session();
    if (!phone || !phone->server().isRunning()) {
        return false;
    }
    phone->server().die("Killed\n");
    return true;
}

std::shared_ptr<FakePhone> SimulatedPhone::session() const {
    return device_ ? device_->phone() : nullptr;
}

std::vector<std::string> SimulatedPhone::violations() const {
    std::vector<std::string> all;
    const auto add = [&all](const auto& device) {
        const std::vector<std::string> found = device->violations();
        all.insert(all.end(), found.begin(), found.end());
    };
    std::ranges::for_each(unplugged_, add);
    if (device_) {
        add(device_);
    }
    return all;
}

void SimulatedPhone::prepare(FakePhone& phone) const {
    // The phone remembers the computers its user allowed; a file it cannot read, none.
    Bytes keys;
    try {
        keys = AtomicFile::read(allowedKeys_, maxAllowedKeysSize).value_or(Bytes());
    } catch (const std::filesystem::filesystem_error&) {
    }
    for (const auto line : std::views::split(keys, std::uint8_t('\n'))) {
        if (!line.empty()) {
            Bytes offered(line.begin(), line.end());
            offered.push_back(0);
            phone.adb().trust(offered);
        }
    }
    phone.adb().services().answerShell(std::string(DeviceInfoQuery::command), deviceInfo);
    phone.server().setScript(script_);
}

}  // namespace qm::test
