#include "QuillmereKit/QtExecutor.h"

#include <utility>

namespace qm {

namespace {

// Qt hands posted work to the context's thread under locks of its own, which ThreadSanitizer
// cannot see. This one it sees: held while the work is posted and taken before it runs, so
// the work's captures are known to be written before they are read.
std::mutex& handoff() {
    static std::mutex mutex;
    return mutex;
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

void QtExecutor::post(std::function<void()> work) {
    std::lock_guard lock(target_->mutex);
    if (!target_->context) {
        return;
    }
    std::lock_guard posting(handoff());
    QMetaObject::invokeMethod(
        target_->context,
        [work = std::move(work)] {
            { std::lock_guard received(handoff()); }
            work();
        },
        Qt::QueuedConnection);
}

}  // namespace qm
