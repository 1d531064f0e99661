#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSysInfo>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "Errors/Diagnostics.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

class DiagnosticsTest : public ::testing::Test {
protected:
    DiagnosticsTest() {
        QFile info(folder.filePath("Info.json"));
        EXPECT_TRUE(info.open(QIODevice::WriteOnly));
        info.write(R"({"CFBundleShortVersionString": "1.2"})");
    }

    // Copies and waits until the copy has settled.
    QString copy(std::optional<DeviceInfo> device, Diagnostics::LogReader reader) {
        QGuiApplication::clipboard()->clear();
        bool copied = false;
        Diagnostics::copyToClipboard(&context, Bundle(folder.path()), {"R58M12AB"}, device, reader)
            .then([&](const auto&) { copied = true; });
        EXPECT_TRUE(test::eventually([&] {
            QCoreApplication::processEvents();
            return copied;
        }));
        return QGuiApplication::clipboard()->text();
    }

    QTemporaryDir folder;
    QObject context;
    const QString header = "Vantorel 1.2 (?)\n" + QSysInfo::prettyProductName() + ", kernel " +
                           QSysInfo::kernelVersion() + "\nServer protocol 4.1+qm2, ext 2\n";
};

TEST_F(DiagnosticsTest, PutsTheRedactedReportOnTheClipboard) {
    std::chrono::system_clock::time_point asked;
    const auto before = std::chrono::system_clock::now();
    const QString text = copy(DeviceInfo{"R58M12AB", "Maker", "Phone", "14", 34},
                              [&](std::chrono::system_clock::time_point since) {
                                  asked = since;
                                  return QStringList{"line of r58m12ab"};
                              });
    EXPECT_EQ(text, header +
                        "Device: Maker Phone, Android 14 (SDK 34), serial <serial>\n"
                        "--- log (last 15 min) ---\n"
                        "line of <serial>");
    const auto after = std::chrono::system_clock::now();
    EXPECT_GE(asked, before - std::chrono::minutes(15));
    EXPECT_LE(asked, after - std::chrono::minutes(15));
}

TEST_F(DiagnosticsTest, ALogThatCannotBeReadStillGivesAReport) {
    const QString text =
        copy(std::nullopt, [](auto) -> QStringList { throw std::runtime_error("no log store"); });
    EXPECT_EQ(text, header +
                        "Device: none\n"
                        "--- log (last 15 min) ---\n"
                        "(log unavailable)");
}

// Views pass every phone or server text they show through the redactor and read presentations
// by their properties.
TEST(ErrorValuesInQmlTest, ViewsCanRedactAndReadPresentations) {
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import Vantorel
        QtObject {
            property diagnosticsRedactor redactor
            property errorPresentation presentation
            readonly property string shown: redactor.redact("lost R58M12AB in /home/jo/x")
            readonly property string summary: presentation.message + "|" + presentation.detail
                + "|" + presentation.hasDetail + "|" + presentation.actions.join(",")
        })",
                      QUrl());
    std::unique_ptr<QObject> view(component.createWithInitialProperties(
        {{"redactor", QVariant::fromValue(DiagnosticsRedactor({"R58M12AB"}))},
         {"presentation", QVariant::fromValue(ErrorPresenter::present(
                              SessionFailure::serverFailed("R58M12AB claimed")))}}));
    ASSERT_TRUE(view) << component.errorString().toStdString();
    EXPECT_EQ(view->property("shown").toString(), "lost <serial> in /home/<user>/x");
    EXPECT_EQ(view->property("summary").toString(),
              "Something went wrong.|R58M12AB claimed|true|retry,copyDiagnostics");
}

}  // namespace
}  // namespace qm
