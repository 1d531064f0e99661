#pragma once

#include <QString>
#include <optional>

#include "InputRouter/InputEvent.h"
#include "QuillmereKit/HUD/HUDItem.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Session/StreamQuality.h"

// The texts of the stream HUD's views, grouped by the view that shows them. Pure; GUI thread
// (translations).
namespace qm {

namespace HUDView {
// A row's localised title.
QString title(HUDItem::Kind kind);
// The figure, with " ms" after it when it is in milliseconds.
QString value(const HUDItem& item);
}  // namespace HUDView

namespace CompactHUDView {
// "60 fps · 42 ms": not translated, never a warning.
QString text(const SessionStats& stats);
}  // namespace CompactHUDView

namespace ThermalBanner {
QString title(int status);
// "1600 px" without a frame-rate cap, else "1280 px, 60 fps"; not translated.
QString label(const StreamQuality& quality);
}  // namespace ThermalBanner

namespace HUDModeMenu {
// The menu entry's title: the shortcut's digit before the two modes the menu offers.
QString title(InputMode mode);
QString shortTitle(InputMode mode);
// The menu's own label: "Control Mode" without a mode; a layout named only in key mapping.
QString indicatorText(std::optional<InputMode> mode, const std::optional<QString>& layoutName,
                      int layoutIndex);
}  // namespace HUDModeMenu

}  // namespace qm
