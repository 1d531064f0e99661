#include "HUD/PanelPositions.h"

#include <QVariantList>
#include <algorithm>
#include <array>
#include <cmath>

#include "Storage/StoredValue.h"

namespace qm {

namespace {

struct PanelName {
    PanelPositions::Panel panel;
    const char* name;
};

constexpr std::array<PanelName, 3> panels = {{{PanelPositions::Panel::toolbar, "toolbar"},
                                              {PanelPositions::Panel::hud, "hud"},
                                              {PanelPositions::Panel::recording, "recording"}}};

QString nameOf(PanelPositions::Panel panel) {
    return QString::fromLatin1(panels[static_cast<std::size_t>(panel)].name);
}

QString keyOf(PanelPositions::Panel panel) {
    return QStringLiteral("panelOffset.") + nameOf(panel);
}

// An INI store gives the pair back as text, a hand edit anything at all; "nan" and "inf" parse
// as numbers but could never be drawn.
std::optional<QSizeF> storedOffset(const QVariant& value) {
    const std::optional<QVariantList> pair = StoredValue::toList(value, 2);
    if (!pair) {
        return std::nullopt;
    }
    bool widthOk = false;
    bool heightOk = false;
    const double width = (*pair)[0].toDouble(&widthOk);
    const double height = (*pair)[1].toDouble(&heightOk);
    if (!widthOk || !heightOk || !std::isfinite(width) || !std::isfinite(height)) {
        return std::nullopt;
    }
    return QSizeF(width, height);
}

// On one axis: the panel from `start`, `size` long, in the area from `areaStart`, `areaSize`
// long.
double clampAxis(double value, double start, double size, double areaStart, double areaSize,
                 double margin) {
    if (areaSize <= margin) {
        return 0;
    }
    if (std::isnan(value)) {
        value = 0;
    }
    const double kept = std::min(margin, std::max(size, 0.0));
    const double lowest = areaStart + kept - start - size;
    const double highest = areaStart + areaSize - kept - start;
    return std::clamp(value, lowest, highest);
}

}  // namespace

PanelPositions::PanelPositions(QSettings& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    for (const PanelName& each : panels) {
        if (const std::optional<QSizeF> offset = storedOffset(defaults_.value(keyOf(each.panel)))) {
            offsets_[each.panel] = *offset;
        }
    }
}

QSizeF PanelPositions::offset(Panel panel) const {
    const auto found = offsets_.find(panel);
    return found == offsets_.end() ? QSizeF(0, 0) : found->second;
}

void PanelPositions::set(QSizeF offset, Panel panel) {
    const auto [entry, added] = offsets_.try_emplace(panel, offset);
    const bool changed = added || entry->second != offset;
    entry->second = offset;
    if (changed) {
        emit offsetsChanged();
    }
    defaults_.setValue(keyOf(panel), QVariantList{offset.width(), offset.height()});
}

void PanelPositions::reset() {
    for (const PanelName& each : panels) {
        defaults_.remove(keyOf(each.panel));
    }
    if (!offsets_.empty()) {
        offsets_.clear();
        emit offsetsChanged();
    }
}

QSizeF PanelPositions::clamp(QSizeF value, QRectF rest, QRectF area, double margin) {
    return {clampAxis(value.width(), rest.x(), rest.width(), area.x(), area.width(), margin),
            clampAxis(value.height(), rest.y(), rest.height(), area.y(), area.height(), margin)};
}

QSizeF PanelPositions::shown(QSizeF base, QSizeF drag, QRectF rest, QRectF area) const {
    return clamp(base + drag, rest, area, panelMargin);
}

void PanelPositions::endDrag(const QString& panel, QSizeF translation, QRectF rest, QRectF area) {
    if (const std::optional<Panel> known = panelNamed(panel)) {
        set(clamp(offset(*known) + translation, rest, area, panelMargin), *known);
    }
}

std::optional<PanelPositions::Panel> PanelPositions::panelNamed(const QString& name) {
    for (const PanelName& each : panels) {
        if (name == QLatin1String(each.name)) {
            return each.panel;
        }
    }
    return std::nullopt;
}

QVariantMap PanelPositions::offsetsByName() const {
    QVariantMap byName;
    for (const auto& [panel, offset] : offsets_) {
        byName.insert(nameOf(panel), offset);
    }
    return byName;
}

}  // namespace qm
