#include "QuillmereKit/SupportLinks.h"

#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>

namespace qm {

namespace {

QString infoText(const QJsonObject& info, QLatin1StringView key) {
    const QJsonValue value = info.value(key);
    return value.isString() ? value.toString() : QStringLiteral("?");
}

std::optional<QUrl> supportUrl(const QJsonObject& info) {
    const QString text = info.value(QLatin1StringView("QMSupportURL")).toString().trimmed();
    // The scheme as written: QUrl would lower-case it.
    if (!text.startsWith(QLatin1StringView("https:"))) {
        return std::nullopt;
    }
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

// Up to three decimal numbers joined by dots, each small enough to read as one.
QString threeNumbers(const QString& dotted) {
    if (dotted.isEmpty()) {
        return {};
    }
    QStringList parts = dotted.split(QLatin1Char('.'));
    parts.resize(3);
    QStringList numbers;
    for (const QString& part : parts) {
        bool ok = true;
        const uint number = part.isEmpty() ? 0 : part.toUInt(&ok);
        if (!ok) {
            return {};
        }
        numbers.append(QString::number(number));
    }
    return numbers.join(QLatin1Char('.'));
}

}  // namespace

std::optional<SupportLinks> SupportLinks::current(const QJsonObject& info,
                                                  const QString& translatorLanguage) {
    const auto base = supportUrl(info);
    if (!base) {
        return std::nullopt;
    }
    return SupportLinks{*base, translatorLanguage == QLatin1StringView("ru"),
                        infoText(info, QLatin1StringView("CFBundleShortVersionString")),
                        infoText(info, QLatin1StringView("CFBundleVersion")),
                        systemVersionOf(QSysInfo::productVersion(), QSysInfo::kernelVersion())};
}

QString SupportLinks::systemVersionOf(const QString& productVersion, const QString& kernelVersion) {
    static const QRegularExpression wholeNumbers(QStringLiteral("^\\d+(\\.\\d+)*$"));
    static const QRegularExpression leadingNumbers(QStringLiteral("^\\d+(\\.\\d+){0,2}"));
    QString version;
    if (wholeNumbers.match(productVersion).hasMatch()) {
        version = threeNumbers(productVersion);
    }
    if (version.isEmpty()) {
        version = threeNumbers(leadingNumbers.match(kernelVersion).captured());
    }
    return version.isEmpty() ? QStringLiteral("?") : version;
}

}  // namespace qm
