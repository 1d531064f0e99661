#include "QuillmereKit/Tasks/QtExecutor.h"

#include <utility>

#include "QuillmereCore/ThreadHandoff.h"

namespace qm {

namespace {

struct Gate {
    std::mutex mutex;
    bool closed = false;
};

Gate& gate() {
    static Gate shared;
    return shared;
}

}  // namespace

QtExecutor::QtExecutor(QObject* context) {
    if (!context) {
        return;
    }
    target_->context = context;
    // Direct: runs in the context's destructor, before Qt discards the events posted to it, so a
    // post either lands before that and is discarded with them or sees no context.
    watch_ = QObject::connect(context, &QObject::destroyed, [target = target_] {
        std::lock_guard lock(target->mutex);
        target->context = nullptr;
    });
}

QtExecutor::~QtExecutor() {
    QObject::disconnect(watch_);
}

void QtExecutor::closeAll() {
    std::lock_guard lock(gate().mutex);
    gate().closed = true;
}

void QtExecutor::post(std::function<void()> work) {
    // A dropped `work` goes as the call returns, after the locks: its captures may post.
    std::scoped_lock lock(gate().mutex, target_->mutex);
    if (gate().closed || !target_->context) {
        return;
    }
    const auto posting = ThreadHandoff::posting();
    QMetaObject::invokeMethod(
        target_->context,
        [work = std::move(work)] {
            ThreadHandoff::received();
            work();
        },
        Qt::QueuedConnection);
}

}  // namespace qm
