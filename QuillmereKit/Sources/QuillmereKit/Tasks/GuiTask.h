#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <cassert>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "IPhoneMirror/TimerSource.h"
#include "QuillmereCore/ThreadHandoff.h"
#include "QuillmereCore/TypedError.h"
#include "QuillmereKit/Tasks/QtExecutor.h"

namespace qm {

// How a cancelled task ended.
struct Cancelled {};

// How a task ended: with a value (none for a void task), an error or cancellation.
template <typename T>
class TaskOutcome {
public:
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    TaskOutcome() requires std::is_void_v<T> : state_(Value{}) {}
    TaskOutcome(Value value) : state_(std::move(value)) {}
    // A void task's completion may report success as a null error.
    TaskOutcome(std::exception_ptr error) : state_(fromError(std::move(error))) {}
    TaskOutcome(Cancelled cancelled) : state_(cancelled) {}

    bool hasValue() const noexcept { return state_.index() == 0; }
    bool isCancelled() const noexcept { return state_.index() == 2; }
    std::exception_ptr error() const noexcept {
        const auto* error = std::get_if<std::exception_ptr>(&state_);
        return error ? *error : nullptr;
    }
    // The value; rethrows the error, or throws CancellationError.
    const Value& get() const {
        if (const auto* error = std::get_if<std::exception_ptr>(&state_)) {
            std::rethrow_exception(*error);
        }
        if (isCancelled()) {
            throw CancellationError();
        }
        return std::get<Value>(state_);
    }

private:
    using State = std::variant<Value, std::exception_ptr, Cancelled>;

    static State fromError(std::exception_ptr error) {
        if (!error) {
            if constexpr (std::is_void_v<T>) {
                return State(std::in_place_index<0>);
            }
            error = std::make_exception_ptr(std::logic_error("a task ended without a value"));
        }
        return State(std::in_place_index<1>, std::move(error));
    }

    State state_;
};

// Work whose result the GUI thread awaits: settled once, on the GUI thread, and every
// continuation runs queued on the thread of the task's context object, in the order attached,
// also when attached after settling, and never once the context is gone. Copies share one task.
// A task dropped unsettled by every holder ends its continuations as cancelled: nothing could
// settle it any more.
template <typename T>
class GuiTask {
public:
    using Outcome = TaskOutcome<T>;
    using Continuation = std::function<void(const Outcome&)>;

    explicit GuiTask(QObject* context) : state_(std::make_shared<State>(context)) {}

    bool isSettled() const { return state_->outcome.has_value(); }

    // The first settle wins; later ones change nothing and answer false. GUI thread only.
    bool settle(Outcome outcome) const {
        assert(QThread::currentThread() == QCoreApplication::instance()->thread());
        if (state_->outcome) {
            return false;
        }
        state_->outcome = std::move(outcome);
        for (Continuation& continuation : std::exchange(state_->waiting, {})) {
            schedule(std::move(continuation));
        }
        return true;
    }
    bool cancel() const { return settle(Cancelled{}); }

    // Settles from any thread, queued on the context.
    void settleLater(Outcome outcome) const {
        state_->executor.post([task = *this, outcome = std::move(outcome)]() mutable {
            task.settle(std::move(outcome));
        });
    }

    // GUI thread only.
    void then(Continuation continuation) const {
        if (state_->outcome) {
            schedule(std::move(continuation));
        } else {
            state_->waiting.push_back(std::move(continuation));
        }
    }

private:
    struct State {
        explicit State(QObject* context) : executor(context) {}
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        ~State() {
            for (Continuation& continuation : waiting) {
                executor.post([continuation = std::move(continuation)] {
                    continuation(Outcome(Cancelled{}));
                });
            }
        }

        QtExecutor executor;
        std::optional<Outcome> outcome;
        std::vector<Continuation> waiting;
    };

    void schedule(Continuation continuation) const {
        state_->executor.post([state = state_, continuation = std::move(continuation)] {
            continuation(*state->outcome);
        });
    }

    std::shared_ptr<State> state_;
};

// The completion callback handed to an API that reports by calling back: call it once, from
// any thread, with a value, an error or Cancelled{} (a void task's also with nothing). It
// converts to the std::function the API takes.
template <typename T>
class Completion {
public:
    explicit Completion(GuiTask<T> task) : task_(std::move(task)) {}

    void operator()(TaskOutcome<T> outcome) const { task_.settleLater(std::move(outcome)); }
    void operator()() const requires std::is_void_v<T> { task_.settleLater(TaskOutcome<T>()); }

private:
    GuiTask<T> task_;
};

// A task that `start` settles through the completion it is handed.
template <typename T, typename Start>
GuiTask<T> fromCompletion(QObject* context, Start&& start) {
    GuiTask<T> task(context);
    std::forward<Start>(start)(Completion<T>(task));
    return task;
}

// Runs `work` on a pooled worker thread and settles with its result or what it threw.
template <typename Work>
auto runOnWorker(QObject* context, Work work) -> GuiTask<std::invoke_result_t<Work&>> {
    using T = std::invoke_result_t<Work&>;
    GuiTask<T> task(context);
    const auto posting = ThreadHandoff::posting();
    QThreadPool::globalInstance()->start([task, work = std::move(work)]() mutable {
        ThreadHandoff::received();
        try {
            if constexpr (std::is_void_v<T>) {
                work();
                task.settleLater(TaskOutcome<T>());
            } else {
                task.settleLater(work());
            }
        } catch (...) {
            task.settleLater(std::current_exception());
        }
    });
    return task;
}

// Settles with every task's outcome, in the given order, once all have ended.
template <typename T>
GuiTask<std::vector<TaskOutcome<T>>> whenAll(QObject* context, std::vector<GuiTask<T>> tasks) {
    struct Gather {
        explicit Gather(QObject* context, std::size_t count)
            : result(context), outcomes(count), left(count) {}
        GuiTask<std::vector<TaskOutcome<T>>> result;
        std::vector<std::optional<TaskOutcome<T>>> outcomes;
        std::size_t left;
    };
    auto gather = std::make_shared<Gather>(context, tasks.size());
    if (tasks.empty()) {
        gather->result.settle(std::vector<TaskOutcome<T>>{});
    }
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        tasks[i].then([gather, i](const TaskOutcome<T>& outcome) {
            gather->outcomes[i] = outcome;
            if (--gather->left == 0) {
                std::vector<TaskOutcome<T>> all;
                all.reserve(gather->outcomes.size());
                for (std::optional<TaskOutcome<T>>& each : gather->outcomes) {
                    all.push_back(std::move(*each));
                }
                gather->result.settle(std::move(all));
            }
        });
    }
    return gather->result;
}

// Settles once, when `task` has ended (true) or `delay` has passed (false), whichever comes
// first. Neither side is cancelled: after the delay the task runs on.
template <typename T>
GuiTask<bool> firstOf(QObject* context, const GuiTask<T>& task, std::chrono::milliseconds delay,
                      TimerSource& timers) {
    struct Race {
        explicit Race(QObject* context) : result(context) {}
        GuiTask<bool> result;
        std::unique_ptr<OneShotTimer> timer;
    };
    auto race = std::make_shared<Race>(context);
    race->timer = timers.makeTimer();
    // The task's continuation owns the race; once the task has ended the timer could change
    // nothing, so it goes with it.
    race->timer->start(delay, [weak = std::weak_ptr<Race>(race)] {
        if (const auto held = weak.lock()) {
            held->result.settle(false);
        }
    });
    task.then([race](const TaskOutcome<T>&) { race->result.settle(true); });
    return race->result;
}

}  // namespace qm
