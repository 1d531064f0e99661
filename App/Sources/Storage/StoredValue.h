#pragma once

#include <QVariant>
#include <QVariantList>
#include <optional>

namespace qm {

// The readings of a value from the settings store. An INI file gives back text, and the user
// may have edited it by hand: a value of the wrong type or form reads as false, 0 or nothing,
// never as an error.
namespace StoredValue {

// "true" or "yes" in any letter case, or a whole decimal other than 0; a stored Boolean or
// number as itself.
bool toBool(const QVariant& value);
// A finite decimal; 0 for anything else, "nan" and "1e999" included.
double toDouble(const QVariant& value);
// A whole decimal that fits.
std::optional<qint64> toInteger(const QVariant& value);
// Exactly `count` items, as a list was stored (an INI file gives them back as text).
std::optional<QVariantList> toList(const QVariant& value, qsizetype count);

}  // namespace StoredValue

}  // namespace qm
