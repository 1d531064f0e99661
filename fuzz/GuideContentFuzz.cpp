// Any bytes as the guide file: the reader refuses them with its one error or gives a guide within
// its limits, whose sections each answer to their own id.
#include "FuzzCheck.h"
#include "InputRouter/ProfileError.h"
#include "QuillmereKit/Help/GuideContent.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    qm::GuideContent guide;
    try {
        guide = qm::GuideContent::parse(qm::ByteView(bytes, size));
    } catch (const qm::ProfileError&) {
        return 0;
    }
    check(guide.sections().size() <= qm::GuideContent::maxCount);
    for (const qm::GuideSection& section : guide.sections()) {
        check(guide.section(section.id) == &section);
        check(section.blocks.size() <= qm::GuideContent::maxCount);
        for (const qm::GuideBlock& block : section.blocks) {
            check(std::size_t(block.entries.size()) <= qm::GuideContent::maxCount);
            check(block.shortcuts.size() <= qm::GuideContent::maxCount);
            check(std::size_t(block.text.toUtf8().size()) <= qm::GuideContent::maxTextBytes);
        }
    }
    return 0;
}
