#pragma once

#include <QCoreApplication>
#include <QThreadPool>

namespace qm::test {

// Lets file work started with runOnWorker end and its results arrive on this thread.
inline void settleWorkers() {
    QThreadPool::globalInstance()->waitForDone();
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace qm::test
