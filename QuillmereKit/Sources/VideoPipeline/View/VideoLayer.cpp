#include "VideoPipeline/View/VideoLayer.h"

#include <QOpenGLExtraFunctions>
#include <utility>

namespace qm {

namespace {

QOpenGLExtraFunctions* currentFunctions() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? context->extraFunctions() : nullptr;
}

}  // namespace

VideoLayer::~VideoLayer() {
    // Textures and fences belong to the shared group; without one of its contexts current they
    // are left for the group to free.
    QOpenGLContext* current = QOpenGLContext::currentContext();
    QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (!current || !shared || !QOpenGLContext::areSharing(current, shared)) {
        return;
    }
    QOpenGLExtraFunctions* gl = current->extraFunctions();
    for (Slot& slot : slots_) {
        if (slot.fence) {
            gl->glDeleteSync(slot.fence);
        }
        if (slot.texture) {
            gl->glDeleteTextures(1, &slot.texture);
        }
    }
}

QSize VideoLayer::drawableSize() const {
    std::lock_guard lock(mutex_);
    return drawableSize_;
}

void VideoLayer::setDrawableSize(QSize size) {
    std::lock_guard lock(mutex_);
    drawableSize_ = size;
}

double VideoLayer::contentsScale() const {
    std::lock_guard lock(mutex_);
    return contentsScale_;
}

void VideoLayer::setContentsScale(double scale) {
    std::lock_guard lock(mutex_);
    contentsScale_ = scale;
}

bool VideoLayer::displaySyncEnabled() const {
    std::lock_guard lock(mutex_);
    return displaySync_;
}

void VideoLayer::setDisplaySyncEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    displaySync_ = enabled;
}

void VideoLayer::setDisplayRequest(std::function<void()> request) {
    std::lock_guard lock(requestMutex_);
    displayRequest_ = std::move(request);
}

int VideoLayer::displayedCount() const {
    std::lock_guard lock(mutex_);
    return displayed_;
}

std::optional<VideoLayer::Drawable> VideoLayer::nextDrawable() {
    QOpenGLExtraFunctions* gl = currentFunctions();
    if (!gl) {
        return std::nullopt;
    }
    Drawable drawable;
    GLsync wait = nullptr;
    PresentedHandler superseded;
    GLuint texture = 0;
    QSize allocated;
    {
        std::lock_guard lock(mutex_);
        if (drawableSize_.isEmpty()) {
            return std::nullopt;
        }
        int index = -1;
        for (int i = 0; i < int(slots_.size()) && index < 0; ++i) {
            if (slots_[i].state == State::free) {
                index = i;
            }
        }
        // A drawable still waiting to be shown is older than the one about to be drawn.
        for (int i = 0; i < int(slots_.size()) && index < 0; ++i) {
            if (slots_[i].state == State::presented) {
                index = i;
                superseded = std::move(slots_[i].onPresented);
            }
        }
        if (index < 0) {
            return std::nullopt;
        }
        Slot& slot = slots_[index];
        slot.state = State::drawing;
        wait = std::exchange(slot.fence, nullptr);
        drawable.index = index;
        drawable.size = drawableSize_;
        texture = slot.texture;
        allocated = slot.allocated;
    }
    if (wait) {
        gl->glWaitSync(wait, 0, GL_TIMEOUT_IGNORED);
        gl->glDeleteSync(wait);
    }
    if (!texture) {
        gl->glGenTextures(1, &texture);
        gl->glBindTexture(GL_TEXTURE_2D, texture);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    if (allocated != drawable.size) {
        gl->glBindTexture(GL_TEXTURE_2D, texture);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, drawable.size.width(), drawable.size.height(),
                         0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        allocated = drawable.size;
    }
    drawable.texture = texture;
    std::lock_guard lock(mutex_);
    slots_[drawable.index].texture = texture;
    slots_[drawable.index].allocated = allocated;
    return drawable;
}

void VideoLayer::present(const Drawable& drawable, GLsync ready, PresentedHandler onPresented) {
    GLsync supersededFence = nullptr;
    PresentedHandler superseded;
    {
        std::lock_guard lock(mutex_);
        for (Slot& slot : slots_) {
            if (slot.state == State::presented) {
                slot.state = State::free;
                supersededFence = std::exchange(slot.fence, nullptr);
                superseded = std::move(slot.onPresented);
            }
        }
        Slot& slot = slots_[drawable.index];
        slot.state = State::presented;
        slot.fence = ready;
        slot.onPresented = std::move(onPresented);
        slot.reportPending = false;
    }
    if (supersededFence) {
        if (QOpenGLExtraFunctions* gl = currentFunctions()) {
            gl->glDeleteSync(supersededFence);
        }
    }
    std::lock_guard lock(requestMutex_);
    if (displayRequest_) {
        displayRequest_();
    }
}

void VideoLayer::discard(const Drawable& drawable) {
    std::lock_guard lock(mutex_);
    slots_[drawable.index].state = State::free;
}

std::optional<VideoLayer::Shown> VideoLayer::latchForDisplay() {
    QOpenGLExtraFunctions* gl = currentFunctions();
    if (!gl) {
        return std::nullopt;
    }
    Shown shown;
    GLsync ready = nullptr;
    int retiring = -1;
    PresentedHandler unreported;
    {
        std::lock_guard lock(mutex_);
        int presented = -1;
        int current = -1;
        for (int i = 0; i < int(slots_.size()); ++i) {
            if (slots_[i].state == State::presented) {
                presented = i;
            } else if (slots_[i].state == State::shown) {
                current = i;
            }
        }
        const int index = presented >= 0 ? presented : current;
        if (index < 0) {
            return std::nullopt;
        }
        shown = {index, slots_[index].texture, slots_[index].allocated};
        if (presented < 0) {
            return shown;
        }
        Slot& slot = slots_[presented];
        slot.state = State::shown;
        slot.reportPending = true;
        ready = std::exchange(slot.fence, nullptr);
        if (current >= 0) {
            // Shown by no frame that reached the screen (an offscreen grab, say).
            retiring = current;
            slots_[current].state = State::retiring;
            if (slots_[current].reportPending) {
                unreported = std::move(slots_[current].onPresented);
                slots_[current].reportPending = false;
            }
        }
    }
    if (ready) {
        gl->glWaitSync(ready, 0, GL_TIMEOUT_IGNORED);
        gl->glDeleteSync(ready);
    }
    if (retiring >= 0) {
        // The drawing side waits for Qt Quick's reads of the old picture before drawing over it.
        GLsync released = gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        gl->glFlush();
        std::lock_guard lock(mutex_);
        slots_[retiring].state = State::free;
        slots_[retiring].fence = released;
    }
    return shown;
}

void VideoLayer::frameDisplayed(std::uint64_t nanos) {
    PresentedHandler handler;
    {
        std::lock_guard lock(mutex_);
        for (Slot& slot : slots_) {
            if (slot.state == State::shown && slot.reportPending) {
                slot.reportPending = false;
                handler = std::move(slot.onPresented);
                ++displayed_;
            }
        }
    }
    if (handler) {
        handler(nanos);
    }
}

}  // namespace qm
