#include "HUD/HUDTexts.h"

#include <QCoreApplication>

#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/HUD/HUDFormatter.h"

namespace qm {

namespace HUDView {

QString title(HUDItem::Kind kind) {
    switch (kind) {
        case HUDItem::Kind::fps:
            return QCoreApplication::translate("HUDView", "FPS");
        case HUDItem::Kind::latency:
            return QCoreApplication::translate("HUDView", "Stream latency");
        case HUDItem::Kind::latencySplit:
            return QCoreApplication::translate("HUDView", "Phone + PC");
        case HUDItem::Kind::phoneEncode:
            return QCoreApplication::translate("HUDView", "Phone encode");
        case HUDItem::Kind::temperature:
            return QCoreApplication::translate("HUDView", "Temperature");
        case HUDItem::Kind::throttling:
            return QCoreApplication::translate("HUDView", "Throttling");
        case HUDItem::Kind::battery:
            return QCoreApplication::translate("HUDView", "Battery");
        case HUDItem::Kind::decoder:
            return QCoreApplication::translate("HUDView", "Decoder");
    }
    return {};
}

QString value(const HUDItem& item) {
    const QString figure = QString::fromStdString(item.value);
    if (!item.unit) {
        return figure;
    }
    return QCoreApplication::translate("HUDView", "%1 ms").arg(figure);
}

}  // namespace HUDView

namespace CompactHUDView {

QString text(const SessionStats& stats) {
    const std::vector<HUDItem> rows = HUDFormatter::items(stats, false);
    return QString::fromStdString(rows[0].value) + QStringLiteral(" fps \u00b7 ") +
           HUDView::value(rows[1]);
}

}  // namespace CompactHUDView

namespace ThermalBanner {

QString title(int status) {
    return QCoreApplication::translate("ThermalBanner",
                                       "The phone is overheating (throttling %1/6).")
        .arg(status);
}

QString label(const StreamQuality& quality) {
    if (quality.maxFps < 1) {
        return QStringLiteral("%1 px").arg(quality.maxSize);
    }
    return QStringLiteral("%1 px, %2 fps").arg(quality.maxSize).arg(quality.maxFps);
}

}  // namespace ThermalBanner

namespace HUDModeMenu {

QString title(InputMode mode) {
    switch (mode) {
        case InputMode::keyboardMouse:
            return QCoreApplication::translate("HUDModeMenu", "1 \u2014 Keyboard & Mouse");
        case InputMode::keymap:
            return QCoreApplication::translate("HUDModeMenu", "2 \u2014 Key Mapping");
        case InputMode::phoneGamepad:
        case InputMode::macGamepad:
            break;
    }
    return shortTitle(mode);
}

QString shortTitle(InputMode mode) {
    switch (mode) {
        case InputMode::keyboardMouse:
            return QCoreApplication::translate("HUDModeMenu", "Keyboard & Mouse");
        case InputMode::keymap:
            return QCoreApplication::translate("HUDModeMenu", "Key Mapping");
        case InputMode::phoneGamepad:
            return QCoreApplication::translate("HUDModeMenu", "Phone Gamepad");
        case InputMode::macGamepad:
            return QCoreApplication::translate("HUDModeMenu", "PC Gamepad");
    }
    return {};
}

QString indicatorText(std::optional<InputMode> mode, const std::optional<QString>& layoutName,
                      int layoutIndex) {
    if (!mode) {
        return QCoreApplication::translate("HUDModeMenu", "Control Mode");
    }
    QString text = shortTitle(*mode);
    if (*mode == InputMode::keymap && layoutName) {
        // One pass, so that a "%2" in a name from a file stays as it is; the name is one run, so
        // that a right-to-left one does not take the number in.
        text += QStringLiteral(" \u00b7 %1 (%2)")
                    .arg(QString::fromStdString(UnicodeText::isolated(layoutName->toStdString())),
                         QString::number(static_cast<qint64>(layoutIndex) + 1));
    }
    return text;
}

}  // namespace HUDModeMenu

}  // namespace qm
