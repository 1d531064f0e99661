#include "QuillmereKit/HUD/HUDItem.h"

namespace qm {

std::string_view rawValue(HUDItem::Kind kind) noexcept {
    switch (kind) {
        case HUDItem::Kind::fps:
            return "fps";
        case HUDItem::Kind::latency:
            return "latency";
        case HUDItem::Kind::latencySplit:
            return "latencySplit";
        case HUDItem::Kind::phoneEncode:
            return "phoneEncode";
        case HUDItem::Kind::temperature:
            return "temperature";
        case HUDItem::Kind::throttling:
            return "throttling";
        case HUDItem::Kind::battery:
            return "battery";
        case HUDItem::Kind::decoder:
            return "decoder";
    }
    return "";
}

}  // namespace qm
