#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

namespace qm {

// A named thread that runs blocking work for callers who wait for it, one piece at a time in
// the order given. Waiting callers keep their work on their own stacks, so nothing is
// allocated per piece.
class TransferLane {
public:
    // `name` is the thread's name, at most 15 characters.
    explicit TransferLane(const char* name);
    ~TransferLane();
    TransferLane(const TransferLane&) = delete;
    TransferLane& operator=(const TransferLane&) = delete;

    // Runs `body` on the lane and returns its result or throws its error. After stop(), and
    // for work still waiting when stop() comes, throws AdbError closed.
    template <typename Body>
    auto run(Body&& body) -> std::invoke_result_t<Body&> {
        using Result = std::invoke_result_t<Body&>;
        if constexpr (std::is_void_v<Result>) {
            Job job(body);
            submit(job);
        } else {
            std::optional<Result> result;
            auto call = [&] { result.emplace(body()); };
            Job job(call);
            submit(job);
            return std::move(*result);
        }
    }

    // Lets the piece under way finish, fails the waiting ones and joins the thread.
    void stop() noexcept;

private:
    struct Job {
        template <typename Call>
        explicit Job(Call& call)
            : invoke([](void* c) { (*static_cast<Call*>(c))(); }), context(&call) {}

        void (*invoke)(void*);
        void* context;
        std::exception_ptr error;
        bool done = false;
        Job* next = nullptr;
    };

    void submit(Job& job);
    void loop();

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable finished_;
    Job* head_ = nullptr;
    Job* tail_ = nullptr;
    bool stopping_ = false;
    const char* name_;
    std::thread thread_;
};

}  // namespace qm
