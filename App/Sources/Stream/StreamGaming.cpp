#include "Stream/StreamGaming.h"

#include <utility>

#include "Stream/WindowFullScreen.h"

namespace qm {

class StreamGaming::Window final : public GamingWindow {
public:
    explicit Window(QWindow* window) : window_(window) {
        QObject::connect(window, &QWindow::visibilityChanged, &context_,
                         [this](QWindow::Visibility visibility) {
                             const bool full = visibility == QWindow::FullScreen;
                             if (full != wasFullScreen_) {
                                 wasFullScreen_ = full;
                                 if (onChange_) {
                                     onChange_();
                                 }
                             }
                         });
    }

    QWindow* window() const { return window_; }

    bool isFullScreen() const override { return window_ && WindowFullScreen::isOn(*window_); }

    void toggleFullScreen() override {
        if (window_) {
            WindowFullScreen::toggle(*window_);
        }
    }

    void setOnFullScreenChange(std::function<void()> handler) override {
        onChange_ = std::move(handler);
    }

private:
    // A QWindow: it still emits while its QQuickWindow part is gone.
    QPointer<QWindow> window_;
    QObject context_;
    std::function<void()> onChange_;
    bool wasFullScreen_ = window_ && window_->visibility() == QWindow::FullScreen;
};

StreamGaming::StreamGaming(QObject* parent) : QObject(parent) {}

StreamGaming::~StreamGaming() {
    controller_.streamViewClosed();
}

void StreamGaming::setSession(StreamingSession* session) {
    if (session_ == session) {
        return;
    }
    if (session_ && session) {
        controller_.streamReplaced();
    }
    session_ = session;
    follow();
    emit sessionChanged();
}

void StreamGaming::setSettings(AppSettings* settings) {
    if (settings_ == settings) {
        return;
    }
    settings_ = settings;
    follow();
    emit settingsChanged();
}

QQuickWindow* StreamGaming::window() const {
    return window_ ? qobject_cast<QQuickWindow*>(window_->window()) : nullptr;
}

void StreamGaming::setWindow(QQuickWindow* window) {
    if ((window_ ? window_->window() : nullptr) == window) {
        return;
    }
    controller_.attach(nullptr);
    window_ = window ? std::make_unique<Window>(window) : nullptr;
    controller_.attach(window_.get());
    emit windowChanged();
}

bool StreamGaming::leaveFullScreen() {
    if (!window_ || !window_->isFullScreen()) {
        return false;
    }
    window_->toggleFullScreen();
    return true;
}

void StreamGaming::componentComplete() {
    complete_ = true;
    follow();
}

void StreamGaming::follow() {
    if (!complete_) {
        return;
    }
    disconnect(phaseConnection_);
    disconnect(awakeConnection_);
    if (!session_ || !settings_) {
        return;
    }
    phaseConnection_ =
        connect(session_, &StreamingSession::phaseChanged, this, &StreamGaming::phaseChanged);
    awakeConnection_ = connect(settings_, &AppSettings::keepDisplayAwakeChanged, this, [this] {
        controller_.keepDisplayAwakeChanged(settings_->keepDisplayAwake());
    });
    phaseChanged();
}

void StreamGaming::phaseChanged() {
    controller_.phaseChanged(session_->phase(), settings_->autoFullScreen(),
                             settings_->keepDisplayAwake());
}

}  // namespace qm
