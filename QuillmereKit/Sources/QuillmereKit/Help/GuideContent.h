#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstddef>
#include <string_view>
#include <vector>

#include "QuillmereCore/Bytes.h"

namespace qm {

// A row of the guide's shortcut table. `keys` is shown as written in every language.
struct GuideShortcut {
    QString keys;
    QString action;
};

// One block of a guide page; the fields its kind does not use stay empty.
struct GuideBlock {
    enum class Kind { paragraph, heading, steps, bullets, item, tip, shortcuts, supportLinks };

    Kind kind = Kind::paragraph;
    QString text;         // paragraph, heading, tip
    QString title;        // item
    QString detail;       // item
    QStringList entries;  // steps (numbered by the view), bullets
    std::vector<GuideShortcut> shortcuts;
    // supportLinks carries nothing: the view fills it from the support links of the moment.
};

// The name a block's kind has in the guide file.
std::string_view rawValue(GuideBlock::Kind kind) noexcept;

// A page of the guide. `symbol` names its icon; `id` is the exact, case-sensitive name.
struct GuideSection {
    QString id;
    QString title;
    QString symbol;
    std::vector<GuideBlock> blocks;
};

// The built-in guide, read from the bundle's "Guide/guide.json". Texts are the English keys
// that the view translates in the context "Guide" when it shows them. Read once, then only read;
// any thread.
class GuideContent {
public:
    // The real file is some 10 KiB; the limits only keep a broken file from costing much.
    static constexpr std::size_t maxFileBytes = 256 * 1024;
    static constexpr std::size_t maxCount = 64;  // sections, blocks, entries or rows of one list
    static constexpr std::size_t maxTextBytes = 2048;

    // Fails as ProfileError::malformed, the JSON reader's error, naming the member at fault.
    static GuideContent parse(ByteView document);
    // A missing, oversized or malformed file gives an empty guide and a log line.
    static GuideContent load(const QString& path);

    const std::vector<GuideSection>& sections() const noexcept { return sections_; }
    // Nothing for an id no section has exactly.
    const GuideSection* section(QStringView id) const noexcept;

private:
    std::vector<GuideSection> sections_;
};

}  // namespace qm
