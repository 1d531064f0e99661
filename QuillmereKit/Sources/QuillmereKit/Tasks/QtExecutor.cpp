#include "QuillmereKit/Tasks/QtExecutor.h"

#include <utility>

#include "QuillmereCore/ThreadHandoff.h"

namespace qm {

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

void QtExecutor::post(std::function<void()> work) {
    std::lock_guard lock(target_->mutex);
    if (!target_->context) {
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
