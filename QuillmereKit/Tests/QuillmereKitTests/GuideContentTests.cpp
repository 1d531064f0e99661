#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InputRouter/ProfileError.h"
#include "QuillmereKit/Help/GuideContent.h"
#include "QuillmereKit/Help/OnboardingText.h"
#include "QuillmereKit/Help/PhoneVendor.h"

namespace qm {
namespace {

GuideContent bundledGuide() {
    return GuideContent::load(QStringLiteral(QM_GUIDE_FILE));
}

TEST(GuideContentTest, BundledGuideHasItsTenSectionsInOrder) {
    const GuideContent guide = bundledGuide();
    const std::vector<std::pair<QString, std::size_t>> expected = {
        {"start", 4},   {"modes", 4},  {"gamepad", 2},   {"keyboard", 3}, {"keymap", 8},
        {"layouts", 4}, {"smooth", 2}, {"shortcuts", 1}, {"fairPlay", 2}, {"help", 2}};
    ASSERT_EQ(guide.sections().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(guide.sections()[i].id, expected[i].first) << i;
        EXPECT_EQ(guide.sections()[i].blocks.size(), expected[i].second) << i;
    }
    const GuideSection* shortcuts = guide.section(u"shortcuts");
    ASSERT_NE(shortcuts, nullptr);
    const std::vector<GuideShortcut>& rows = shortcuts->blocks[0].shortcuts;
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows.front().keys, "Super+1 – Super+2");
    EXPECT_EQ(rows.back().keys, "Super+?");
    EXPECT_EQ(guide.section(u"help")->blocks.back().kind, GuideBlock::Kind::supportLinks);
    EXPECT_NE(guide.section(u"fairPlay"), nullptr);
    EXPECT_EQ(guide.section(u"fairplay"), nullptr);
}

TEST(GuideContentTest, NoOnboardingOrGuideTextNamesAMacThing) {
    QStringList texts = OnboardingText::cableSteps();
    texts << OnboardingText::allowDialog();
    for (const OnboardingStep step : allOnboardingSteps) {
        texts << OnboardingText::title(step);
    }
    for (const PhoneVendor vendor : allPhoneVendors) {
        texts << developerModeSteps(vendor) << usbDebuggingSteps(vendor);
    }
    const GuideContent guide = bundledGuide();
    for (const GuideSection& section : guide.sections()) {
        texts << section.title;
        for (const GuideBlock& block : section.blocks) {
            texts << block.text << block.title << block.detail << block.entries;
            for (const GuideShortcut& row : block.shortcuts) {
                texts << row.keys << row.action;
            }
        }
    }
    for (const QString& text : texts) {
        for (const char* word : {"Mac", "⌘", "⌃", "⌥", "Finder", "System Settings"}) {
            EXPECT_FALSE(text.contains(QString::fromUtf8(word))) << text.toStdString();
        }
    }
}

TEST(GuideContentTest, RefusesMalformedDocumentsNamingTheMember) {
    const std::string longText(GuideContent::maxTextBytes + 1, 'a');
    const std::string section = R"({"id": "a", "title": "A", "symbol": "s", "blocks": )";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "syntax error"},
        {"[]", "expected an object, found an array"},
        {R"({"sections": [)" + section + R"([{"kind": "poem", "text": "x"}]}]})",
         "sections[0].blocks[0].kind: unknown block kind"},
        {R"({"sections": [)" + section + R"([{"kind": "steps", "entries": ["x", 1]}]}]})",
         "sections[0].blocks[0].entries[1]: expected a string, found 1"},
        {R"({"sections": [)" + section + R"([{"kind": "tip", "text": ""}]}]})",
         "sections[0].blocks[0].text: empty"},
        {R"({"sections": [)" + section + R"([{"kind": "tip", "text": ")" + longText + R"("}]}]})",
         "sections[0].blocks[0].text: longer than 2048 bytes"},
        {R"({"sections": [)" + section + "[]}, " + section + "[]}]}",
         "sections[1].id: repeats an earlier section's"},
        {R"({"sections": [)" + section + "[" + std::string(200, '[') + "]}]}", "nested more than"},
    };
    for (const auto& [document, message] : cases) {
        try {
            GuideContent::parse(asBytes(document));
            ADD_FAILURE() << "read: " << document.substr(0, 80);
        } catch (const ProfileError& error) {
            EXPECT_NE(error.message().find(message), std::string::npos) << error.message();
        }
    }
    const std::string oversized(GuideContent::maxFileBytes + 1, ' ');
    EXPECT_THROW(GuideContent::parse(asBytes(oversized)), ProfileError);
}

TEST(GuideContentTest, MissingOrMalformedFileGivesAnEmptyGuide) {
    QTemporaryDir folder;
    const QString broken = folder.filePath("guide.json");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"sections": [{"id": "a"}]})");
    file.close();
    EXPECT_TRUE(GuideContent::load(broken).sections().empty());
    EXPECT_TRUE(GuideContent::load(folder.filePath("missing.json")).sections().empty());
}

}  // namespace
}  // namespace qm
