#pragma once

#include <functional>
#include <vector>

namespace qm {

// Where unaccelerated mouse motion comes from: x to the right and y upwards, as mouse devices
// report it. GUI thread only.
class RawMouseSource {
public:
    using Handler = std::function<void(float dx, float dy)>;

    virtual ~RawMouseSource() = default;
    // Starts delivering deltas to `handler`, replacing any earlier one.
    virtual void activate(Handler handler) = 0;
    // Stops delivering and drops the handler.
    virtual void deactivate() = 0;
};

// Runs the one raw mouse source of the process only while some stream window wants raw
// motion, and hands each delta to one subscriber: the most recently subscribed of the active
// ones. GUI thread only.
class RawMouseHub {
public:
    // The source must outlive the hub.
    explicit RawMouseHub(RawMouseSource& source) : source_(source) {}
    RawMouseHub(const RawMouseHub&) = delete;
    RawMouseHub& operator=(const RawMouseHub&) = delete;
    ~RawMouseHub();

    // The process's hub, over XInput2 raw motion.
    static RawMouseHub& shared();

    // A new inactive subscriber; ids start at 1.
    int subscribe(RawMouseSource::Handler onDelta);
    void unsubscribe(int id);
    void setActive(bool active, int id);

    bool isSourceRunning() const noexcept { return sourceRunning_; }

private:
    struct Subscriber {
        int id = 0;
        bool isActive = false;
        RawMouseSource::Handler onDelta;
    };

    void refreshSource();
    void deliver(float dx, float dy) const;

    RawMouseSource& source_;
    std::vector<Subscriber> subscribers_;
    int nextID_ = 0;
    bool sourceRunning_ = false;
};

}  // namespace qm
