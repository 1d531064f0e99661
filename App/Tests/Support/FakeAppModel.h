#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Model/AppModelBase.h"

namespace qm::test {

// An app model whose phone and iPhones the test sets, and which records the routes asked for.
class FakeAppModel final : public AppModelBase {
public:
    using LibraryFactory = std::function<std::unique_ptr<LibraryViewModel>(const DeviceInfo&)>;

    FakeAppModel() : AppModelBase(settings_) {}

    using AppModelBase::setConnectedDevice;
    using AppModelBase::setConnectionNotice;
    using AppModelBase::setIPhones;

    std::unique_ptr<LibraryViewModel> makeLibraryViewModel(const DeviceInfo& device) override {
        return makeLibrary(device);
    }
    void openGame(const QString& package) override { openedGames.push_back(package); }
    void closeIPhone() override { ++closes; }
    bool hasDemoStream() const override { return demoStream; }
    void startDemo() override { ++demos; }
    GuiTask<void> copyDiagnostics() override {
        ++diagnosticsCopies;
        GuiTask<void> copied(this);
        copied.settle({});
        return copied;
    }

    LibraryFactory makeLibrary;
    std::vector<QString> openedGames;
    std::vector<IPhoneDevice> shownIPhones;
    int closes = 0;
    bool demoStream = true;
    int demos = 0;
    int diagnosticsCopies = 0;

protected:
    void showIPhone(const IPhoneDevice& device) override { shownIPhones.push_back(device); }

private:
    QTemporaryDir folder_;
    QSettings store_{folder_.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings_{store_};
};

}  // namespace qm::test
