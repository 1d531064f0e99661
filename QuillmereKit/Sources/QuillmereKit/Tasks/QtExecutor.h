#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

#include "QuillmereCore/Executor.h"

namespace qm {

// The Qt event loop as an executor: work posted from any thread runs queued on the thread of a
// context object, never inline, and is dropped once the context is gone.
class QtExecutor final : public Executor {
public:
    explicit QtExecutor(QObject* context);
    ~QtExecutor() override;
    QtExecutor(const QtExecutor&) = delete;
    QtExecutor& operator=(const QtExecutor&) = delete;

    void post(std::function<void()> work) override;

private:
    // Shared with the handler of the context's destruction, which may outlive this executor.
    struct Target {
        std::mutex mutex;
        QObject* context = nullptr;
    };

    std::shared_ptr<Target> target_ = std::make_shared<Target>();
    QMetaObject::Connection watch_;
};

}  // namespace qm
