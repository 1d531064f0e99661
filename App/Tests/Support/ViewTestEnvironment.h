#pragma once

#include <QDateTime>
#include <QTemporaryDir>
#include <memory>

#include "FakeDeviceStates.h"
#include "Model/AppModelEnvironment.h"
#include "Support/ManualTimerSource.h"

namespace qm::test {

// An app model's surroundings in a view test: a fake phone link, sessions from `makeSession`,
// manual timers, the bundle and folders under `folder`, the test as host.
inline AppModelEnvironment viewTestEnvironment(const QTemporaryDir& folder,
                                               SessionFactory makeSession) {
    AppModelEnvironment environment;
    environment.deviceStates = std::make_shared<FakeDeviceStates>();
    environment.makeSession = std::move(makeSession);
    environment.timers = std::make_shared<ManualTimerSource>();
    environment.bundle = Bundle(folder.filePath("bundle"));
    environment.capturesDirectory = folder.filePath("Captures").toStdString();
    environment.libraryCacheDirectory = folder.filePath("Library").toStdString();
    environment.now = [] { return QDateTime::currentDateTimeUtc(); };
    environment.displayMaxFps = [] { return 60; };
    environment.quit = [] {};
    environment.hostedByTests = true;
    return environment;
}

}  // namespace qm::test
