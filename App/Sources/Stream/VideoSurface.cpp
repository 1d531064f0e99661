#include "Stream/VideoSurface.h"

namespace qm {

void VideoSurface::setView(QQuickItem* view) {
    auto* video = qobject_cast<VideoView*>(view);
    if (view_ == video) {
        return;
    }
    view_ = video;
    attachedTo_ = nullptr;
    attach();
    applyUpscale();
    emit viewChanged();
}

void VideoSurface::setSession(StreamingSession* session) {
    if (session_ == session) {
        return;
    }
    session_ = session;
    attach();
    emit sessionChanged();
}

void VideoSurface::setSettings(AppSettings* settings) {
    if (settings_ == settings) {
        return;
    }
    disconnect(upscaling_);
    disconnect(sharpness_);
    settings_ = settings;
    if (settings_) {
        upscaling_ = connect(settings_, &AppSettings::gpuUpscalingChanged, this,
                             &VideoSurface::applyUpscale);
        sharpness_ =
            connect(settings_, &AppSettings::sharpnessChanged, this, &VideoSurface::applyUpscale);
    }
    applyUpscale();
    emit settingsChanged();
}

void VideoSurface::componentComplete() {
    complete_ = true;
    applyUpscale();
    attach();
}

void VideoSurface::attach() {
    if (!complete_ || !view_ || !session_ || attachedTo_ == session_) {
        return;
    }
    attachedTo_ = session_;
    session_->attach(view_);
}

void VideoSurface::applyUpscale() {
    if (view_ && settings_) {
        view_->setUpscale(settings_->upscale());
    }
}

}  // namespace qm
