#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/DeviceBanner.h"
#include "DeviceLink/DeviceInfo.h"
#include "DeviceLink/DeviceLinkState.h"
#include "Support/Expect.h"

namespace qm {
namespace {

std::string violationText(auto&& f) {
    const AdbError error = test::thrown<AdbError>(f);
    EXPECT_EQ(error.kind(), AdbErrorKind::protocolViolation);
    return error.message();
}

const DeviceInfo phone{"R5CT", "Qm", "QM One", "14", 34};

TEST(DeviceInfoQuery, CommandReadsTheFivePropertiesInOrder) {
    EXPECT_EQ(DeviceInfoQuery::command,
              "getprop ro.serialno;getprop ro.product.manufacturer;getprop ro.product.model;"
              "getprop ro.build.version.release;getprop ro.build.version.sdk");
}

TEST(DeviceInfoQuery, ParsesWhateverLineEndsThePhoneUses) {
    for (const char* output : {"R5CT\nQm\nQM One\n14\n34\n", "R5CT\r\nQm\r\nQM One\r\n14\r\n34\r\n",
                               "R5CT\nQm\nQM One\n14\n34", "  R5CT\t\nQm\nQM One \n14\n 34 \n",
                               "R5CT\u2028Qm\u0085QM One\r14\x0c"
                               "34\nextra\n"}) {
        EXPECT_EQ(DeviceInfoQuery::parse(output), phone) << output;
    }
    const DeviceInfo noSerial = DeviceInfoQuery::parse("\nQm\nQM One\n14\n34\n");
    EXPECT_EQ(noSerial.serial, "");
    EXPECT_EQ(noSerial.model, "QM One");
    EXPECT_EQ(DeviceInfoQuery::parse("a\nb\nc\nd\n-1\n").sdk, -1);
    EXPECT_EQ(DeviceInfoQuery::parse("a\nb\nc\nd\n+29\n").sdk, 29);
}

TEST(DeviceInfoQuery, ShortOrBadOutputIsAProtocolViolation) {
    EXPECT_EQ(violationText([] { DeviceInfoQuery::parse("a\nb\nc\nd"); }),
              "getprop returned 4 lines");
    EXPECT_EQ(violationText([] { DeviceInfoQuery::parse(""); }), "getprop returned 1 lines");
    EXPECT_EQ(violationText([] { DeviceInfoQuery::parse("a\nb\nc\nd\n3 4\n"); }),
              "bad ro.build.version.sdk: 3 4");
    for (const char* sdk : {"", "abc", "+-3", "+", "99999999999999999999", "3.0"}) {
        EXPECT_EQ(violationText([&] { DeviceInfoQuery::parse(std::string("a\nb\nc\nd\n") + sdk); }),
                  std::string("bad ro.build.version.sdk: ") + sdk);
    }
    // A line of any length, shown short and on its own terms: forty characters as shown, the
    // escape's six among them.
    EXPECT_EQ(violationText([] {
                  DeviceInfoQuery::parse("a\nb\nc\nd\n3\u202E" + std::string(1 << 20, '4'));
              }),
              "bad ro.build.version.sdk: 3\\u202E" + std::string(33, '4') + "\u2026");
}

TEST(DeviceInfo, CodesAsTheFiveKeysAndBack) {
    const nlohmann::json json = phone;
    EXPECT_EQ(json.size(), 5u);
    for (const char* key : {"serial", "manufacturer", "model", "androidRelease", "sdk"}) {
        EXPECT_TRUE(json.contains(key)) << key;
    }
    EXPECT_EQ(json.get<DeviceInfo>(), phone);
    EXPECT_TRUE(phone.isSupported());
    EXPECT_FALSE((DeviceInfo{"", "", "", "10", 29}).isSupported());

    for (const char* bad :
         {R"({"serial":"s","manufacturer":"m","model":"x","androidRelease":"14"})",
          R"({"serial":"s","manufacturer":"m","model":"x","androidRelease":14,"sdk":34})",
          R"({"serial":"s","manufacturer":"m","model":"x","androidRelease":"14","sdk":34.5})",
          R"({"serial":"s","manufacturer":"m","model":"x","androidRelease":"14","sdk":"34"})"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<DeviceInfo>(), nlohmann::json::exception)
            << bad;
    }
}

TEST(DeviceLinkState, EqualityAndCaseNames) {
    const UsbAdbDevice device{7, "R5CT", "QM One"};
    EXPECT_EQ(DeviceLinkState::unauthorized(device), DeviceLinkState::unauthorized(device));
    EXPECT_NE(DeviceLinkState::unauthorized(device),
              DeviceLinkState::unauthorized(UsbAdbDevice{8, "R5CT", "QM One"}));
    DeviceInfo older = phone;
    older.sdk = 33;
    EXPECT_NE(DeviceLinkState::connected(phone), DeviceLinkState::connected(older));
    EXPECT_EQ(DeviceLinkState::failed(LinkFailure::refused, "x"),
              DeviceLinkState::failed(LinkFailure::refused, "x"));
    EXPECT_NE(DeviceLinkState::noDevice(), DeviceLinkState::busy());
    EXPECT_EQ(DeviceLinkState(), DeviceLinkState::noDevice());

    EXPECT_EQ(DeviceLinkState::unauthorized(device).caseName(), "unauthorized");
    EXPECT_EQ(DeviceLinkState::connected(phone).caseName(), "connected");
    EXPECT_EQ(DeviceLinkState::failed(LinkFailure::refused, "x").caseName(), "failed");
    EXPECT_EQ(DeviceLinkState::noDevice().caseName(), "noDevice");
    EXPECT_EQ(DeviceLinkState::busy().caseName(), "busy");
}

DeviceBanner banner(std::string_view text) {
    return DeviceBanner::parse(asBytes(text));
}

TEST(DeviceBanner, SplitsStatePropertiesAndFeatures) {
    const DeviceBanner full =
        banner("device::ro.product.model=X1;ro.product.device=y;features=shell_v2,cmd,,abb");
    EXPECT_EQ(full.state, "device");
    EXPECT_EQ(full.properties, (std::map<std::string, std::string>{{"ro.product.model", "X1"},
                                                                   {"ro.product.device", "y"}}));
    EXPECT_EQ(full.features, (std::set<std::string>{"shell_v2", "cmd", "abb"}));

    EXPECT_EQ(banner("device::"), (DeviceBanner{"device", {}, {}}));
    EXPECT_EQ(banner("device:"), (DeviceBanner{"device", {}, {}}));
    EXPECT_EQ(banner(std::string_view("device::a=1\0\0", 14)), banner("device::a=1"));

    const DeviceBanner odd = banner("device::a=b=c;flag;=x;a2=;features=z;features=q");
    EXPECT_EQ(odd.properties,
              (std::map<std::string, std::string>{{"a", "b=c"}, {"", "x"}, {"a2", ""}}));
    EXPECT_EQ(odd.features, std::set<std::string>{"q"});
}

TEST(DeviceBanner, NoStateIsAProtocolViolation) {
    EXPECT_EQ(violationText([] { banner("bootloader"); }),
              "malformed device banner (10 characters)");
    EXPECT_EQ(violationText([] { banner(":x"); }), "malformed device banner (2 characters)");
    EXPECT_EQ(violationText([] { banner(""); }), "malformed device banner (0 characters)");
    // Ill-formed UTF-8 is replaced, and each replacement counts as one character.
    EXPECT_EQ(violationText([] { banner("\xFF\xFE"); }), "malformed device banner (2 characters)");
    // Counted as a reader counts them: an accented letter, a line end and a flag.
    EXPECT_EQ(violationText([] { banner("e\u0301\r\n\U0001F1EB\U0001F1F7"); }),
              "malformed device banner (3 characters)");
    EXPECT_EQ(banner("d\xC3:x").state, "d\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qm
