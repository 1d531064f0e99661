#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace qm {

// Hides phone serial numbers and the account name in home-folder paths in every text that is
// shown as an error detail or copied for support. A value: any thread; views call redact().
class DiagnosticsRedactor {
    Q_GADGET

public:
    static constexpr QStringView serialPlaceholder = u"<serial>";
    static constexpr QStringView userPlaceholder = u"<user>";

    DiagnosticsRedactor() = default;
    // Serials shorter than 4 characters are too likely to occur by chance and stay readable.
    explicit DiagnosticsRedactor(const QStringList& serials);

    // Without duplicates, longest first: a serial that contains another is replaced whole.
    const QStringList& serials() const noexcept { return serials_; }

    // Every serial, in any letter case and also inside longer words, then "/Users/name" and
    // "/home/name".
    Q_INVOKABLE QString redact(QString text) const;

private:
    QStringList serials_;
};

}  // namespace qm
