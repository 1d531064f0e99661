#pragma once

#include <QByteArray>
#include <QImage>
#include <QQmlEngine>
#include <QQuickAsyncImageProvider>
#include <QSize>
#include <QThreadPool>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ServerProtocol/ExtMessage.h"

namespace qm {

// The library's app icons as "image://libraryicon/<revision>/<package>": each one decoded on a
// pool thread from the last published list and drawn into its rounded frame; an icon that is
// missing, not a PNG or larger than 1024 × 1024 shows the "app.dashed" symbol instead.
// publish() on the GUI thread; requests come from Qt Quick's image reader thread.
class LibraryIconProvider final : public QQuickAsyncImageProvider {
public:
    static constexpr int maxIconSide = 1024;
    static constexpr int frameSide = 96;
    // Around the frame, for the shadow: the image is that much larger on each side.
    static constexpr int shadowMargin = 3;

    // The engine's provider, added to it when it has none.
    static LibraryIconProvider& of(QQmlEngine& engine);

    // Replaces the icons requests are served from; the revision for the URLs, a new one when
    // an icon changed.
    int publish(const std::vector<AppInfo>& apps);

    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;

    // The icon clipped to its rounded frame of `size` pixels, or the symbol when `png` is not
    // one we decode, with its shadow.
    static QImage render(const QByteArray& png, QSize size);

private:
    using Icons = std::unordered_map<std::string, QByteArray>;

    std::mutex mutex_;
    std::shared_ptr<const Icons> icons_ = std::make_shared<const Icons>();
    int revision_ = 0;
    QThreadPool pool_;
};

}  // namespace qm
