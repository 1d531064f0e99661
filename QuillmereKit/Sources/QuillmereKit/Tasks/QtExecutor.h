#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

#include "QuillmereCore/Executor.h"

namespace qm {

// The Qt event loop as an executor: work posted from any thread runs queued on the thread of a
// context object, never inline, and is dropped once the context is gone or every executor has
// been closed.
class QtExecutor final : public Executor {
public:
    explicit QtExecutor(QObject* context);
    ~QtExecutor() override;
    QtExecutor(const QtExecutor&) = delete;
    QtExecutor& operator=(const QtExecutor&) = delete;

    void post(std::function<void()> work) override;

    // From now on every executor of the process drops what it is handed, on the caller's
    // thread. The application closes them before it goes: Qt destroys the calls still queued
    // under the lock of its event queue, where a post from their destructors would wait for
    // ever. Returns once no post is under way.
    static void closeAll();

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
