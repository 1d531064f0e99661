#include "QuillmereKit/Help/SupportLinks.h"

#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>

#include "QuillmereKit/Help/WebURL.h"

namespace qm {

namespace {

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

std::optional<SupportLinks> SupportLinks::current(const Info& info,
                                                  const QString& translatorLanguage) {
    const auto base = webURLFrom(info.supportUrl.value_or(QString()).trimmed());
    if (!base) {
        return std::nullopt;
    }
    const QString unknown = QStringLiteral("?");
    return SupportLinks{*base, translatorLanguage == QLatin1StringView("ru"),
                        info.appVersion.value_or(unknown), info.build.value_or(unknown),
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
