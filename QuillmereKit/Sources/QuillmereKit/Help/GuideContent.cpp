#include "QuillmereKit/Help/GuideContent.h"

#include <QFile>
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "InputRouter/JsonNode.h"
#include "InputRouter/ProfileError.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

using Kind = GuideBlock::Kind;

constexpr std::array<std::pair<std::string_view, Kind>, 8> kindNames{{
    {"paragraph", Kind::paragraph},
    {"heading", Kind::heading},
    {"steps", Kind::steps},
    {"bullets", Kind::bullets},
    {"item", Kind::item},
    {"tip", Kind::tip},
    {"shortcuts", Kind::shortcuts},
    {"supportLinks", Kind::supportLinks},
}};

QString text(const JsonNode& node) {
    const std::string value = node.string();
    if (value.size() > GuideContent::maxTextBytes) {
        node.fail("longer than " + std::to_string(GuideContent::maxTextBytes) + " bytes");
    }
    return QString::fromStdString(value);
}

QString nonEmptyText(const JsonNode& node) {
    QString value = text(node);
    if (value.isEmpty()) {
        node.fail("empty");
    }
    return value;
}

std::size_t count(const JsonNode& list) {
    const std::size_t size = list.size();
    if (size > GuideContent::maxCount) {
        list.fail("more than " + std::to_string(GuideContent::maxCount) + " entries");
    }
    return size;
}

QStringList texts(const JsonNode& list) {
    QStringList values;
    const std::size_t size = count(list);
    for (std::size_t i = 0; i < size; ++i) {
        values.append(nonEmptyText(list.element(i)));
    }
    return values;
}

Kind kindOf(const JsonNode& node) {
    const std::string name = node.string();
    for (const auto& [kindName, kind] : kindNames) {
        if (kindName == name) {
            return kind;
        }
    }
    node.fail("unknown block kind");
}

GuideBlock readBlock(const JsonNode& node) {
    GuideBlock value;
    value.kind = kindOf(node.member("kind"));
    switch (value.kind) {
        case Kind::paragraph:
        case Kind::heading:
        case Kind::tip:
            value.text = nonEmptyText(node.member("text"));
            break;
        case Kind::steps:
        case Kind::bullets:
            value.entries = texts(node.member("entries"));
            break;
        case Kind::item:
            value.title = nonEmptyText(node.member("title"));
            value.detail = nonEmptyText(node.member("detail"));
            break;
        case Kind::shortcuts: {
            const JsonNode rows = node.member("rows");
            const std::size_t size = count(rows);
            for (std::size_t i = 0; i < size; ++i) {
                const JsonNode row = rows.element(i);
                value.shortcuts.push_back(
                    {nonEmptyText(row.member("keys")), nonEmptyText(row.member("action"))});
            }
            break;
        }
        case Kind::supportLinks:
            break;
    }
    return value;
}

GuideSection readSection(const JsonNode& node) {
    GuideSection value{nonEmptyText(node.member("id")),
                       nonEmptyText(node.member("title")),
                       nonEmptyText(node.member("symbol")),
                       {}};
    const JsonNode blocks = node.member("blocks");
    const std::size_t size = count(blocks);
    for (std::size_t i = 0; i < size; ++i) {
        value.blocks.push_back(readBlock(blocks.element(i)));
    }
    return value;
}

}  // namespace

std::string_view rawValue(GuideBlock::Kind kind) noexcept {
    for (const auto& [name, named] : kindNames) {
        if (named == kind) {
            return name;
        }
    }
    return {};
}

GuideContent GuideContent::parse(ByteView document) {
    if (document.size() > maxFileBytes) {
        throw ProfileError::malformed("larger than " + std::to_string(maxFileBytes) + " bytes");
    }
    const nlohmann::json tree = JsonNode::parse(document);
    const JsonNode root(tree);
    const JsonNode sections = root.member("sections");
    const std::size_t size = count(sections);
    GuideContent content;
    for (std::size_t i = 0; i < size; ++i) {
        const JsonNode node = sections.element(i);
        GuideSection value = readSection(node);
        if (content.section(value.id) != nullptr) {
            node.member("id").fail("repeats an earlier section's");
        }
        content.sections_.push_back(std::move(value));
    }
    return content;
}

GuideContent GuideContent::load(const QString& path) {
    QFile file(path);
    std::string failure;
    if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString().toStdString();
    } else {
        // One byte more than allowed tells an oversized file from one at the limit.
        const QByteArray bytes = file.read(qint64(maxFileBytes) + 1);
        try {
            return parse(asBytes(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
        } catch (const ProfileError& error) {
            failure = error.message();
        }
    }
    Log::session().warn("the guide {} is unreadable, showing none: {}", path.toStdString(),
                        failure);
    return {};
}

const GuideSection* GuideContent::section(QStringView id) const noexcept {
    for (const GuideSection& candidate : sections_) {
        if (candidate.id == id) {
            return &candidate;
        }
    }
    return nullptr;
}

}  // namespace qm
