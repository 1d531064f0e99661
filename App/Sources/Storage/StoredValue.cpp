#include "StoredValue.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace qm::StoredValue {

namespace {

// The whole text as one number of type T, in std::from_chars' plain decimal forms.
template <typename T>
std::optional<T> parse(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    const QByteArray text = value.toString().toUtf8();
    T number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

bool isIntegral(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool toBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (isIntegral(value) || value.typeId() == QMetaType::Double) {
        return value.toDouble() != 0;
    }
    const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (text.compare(u"true", Qt::CaseInsensitive) == 0 ||
        text.compare(u"yes", Qt::CaseInsensitive) == 0) {
        return true;
    }
    const std::optional<qint64> number = toInteger(value);
    return number && *number != 0;
}

double toDouble(const QVariant& value) {
    std::optional<double> number;
    if (value.typeId() == QMetaType::Double || isIntegral(value)) {
        number = value.toDouble();
    } else {
        number = parse<double>(value);
    }
    return number && std::isfinite(*number) ? *number : 0;
}

std::optional<QVariantList> toList(const QVariant& value, qsizetype count) {
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList) {
        return std::nullopt;
    }
    QVariantList items = value.toList();
    return items.size() == count ? std::optional(std::move(items)) : std::nullopt;
}

std::optional<qint64> toInteger(const QVariant& value) {
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
        return value.toLongLong();
    }
    return parse<qint64>(value);
}

}  // namespace qm::StoredValue
