#include "LibraryIconProvider.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include <QtConcurrent/QtConcurrentRun>

#include "QuillmereCore/ThreadHandoff.h"

namespace qm {

namespace {

constexpr auto providerName = "libraryicon";
constexpr double cornerRatio = 22.0 / 96.0;

class IconResponse final : public QQuickImageResponse {
public:
    // A watcher reports through the event loop and goes with the response; QFuture::then(this)
    // emits finished() right here, before anyone connects, when the rendering is already done.
    explicit IconResponse(QFuture<QImage> rendering) {
        connect(&watcher_, &QFutureWatcher<QImage>::finished, this, [this] {
            image_ = watcher_.result();
            emit finished();
        });
        watcher_.setFuture(std::move(rendering));
    }

    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }

private:
    QFutureWatcher<QImage> watcher_;
    QImage image_;
};

// Only a PNG whose header says it is small enough is decoded.
QImage decode(const QByteArray& png) {
    if (png.isEmpty()) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(png);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    if (!reader.canRead()) {
        return {};
    }
    const QSize size = reader.size();
    if (size.isEmpty() || size.width() > LibraryIconProvider::maxIconSide ||
        size.height() > LibraryIconProvider::maxIconSide) {
        return {};
    }
    return reader.read();
}

}  // namespace

LibraryIconProvider& LibraryIconProvider::of(QQmlEngine& engine) {
    if (auto* provider = dynamic_cast<LibraryIconProvider*>(engine.imageProvider(providerName))) {
        return *provider;
    }
    auto provider = std::make_unique<LibraryIconProvider>();
    LibraryIconProvider& added = *provider;
    engine.addImageProvider(providerName, provider.release());  // the engine owns it
    return added;
}

int LibraryIconProvider::publish(const std::vector<AppInfo>& apps) {
    auto icons = std::make_shared<Icons>();
    for (const AppInfo& app : apps) {
        icons->insert_or_assign(app.packageName,
                                QByteArray(reinterpret_cast<const char*>(app.iconPNG.data()),
                                           static_cast<qsizetype>(app.iconPNG.size())));
    }
    std::lock_guard lock(mutex_);
    // Unchanged icons keep their URLs: the tiles would blank and load every one of them again.
    if (*icons != *icons_) {
        icons_ = std::move(icons);
        ++revision_;
    }
    return revision_;
}

QQuickImageResponse* LibraryIconProvider::requestImageResponse(const QString& id,
                                                               const QSize& requestedSize) {
    // The revision only makes a new list's URLs differ from the old ones'.
    const std::string package =
        QUrl::fromPercentEncoding(id.section(u'/', 1).toUtf8()).toStdString();
    std::shared_ptr<const Icons> icons;
    {
        std::lock_guard lock(mutex_);
        icons = icons_;
    }
    const QSize size = requestedSize.isValid() && !requestedSize.isEmpty()
                           ? requestedSize.boundedTo({maxIconSide, maxIconSide})
                           : QSize(frameSide, frameSide);
    const auto posting = ThreadHandoff::posting();
    return new IconResponse(QtConcurrent::run(&pool_, [icons, package, size] {
        ThreadHandoff::received();
        const auto found = icons->find(package);
        return render(found == icons->end() ? QByteArray() : found->second, size);
    }));
}

QImage LibraryIconProvider::render(const QByteArray& png, QSize size) {
    QImage framed(size, QImage::Format_ARGB32_Premultiplied);
    framed.fill(Qt::transparent);
    {
        QPainter painter(&framed);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        const QRectF frame(QPointF(0, 0), size);
        const double radius = cornerRatio * std::min(size.width(), size.height());
        QPainterPath rounded;
        rounded.addRoundedRect(frame, radius, radius);
        painter.setClipPath(rounded);
        if (const QImage icon = decode(png); !icon.isNull()) {
            painter.drawImage(frame, icon);
        } else {
            QSvgRenderer(QStringLiteral(":/qt/qml/Vantorel/Sources/Library/app.dashed.svg"))
                .render(&painter, frame);
        }
    }

    // A soft shadow one point down: the silhouette drawn faintly over a small square of
    // offsets, 33 % black where they all overlap.
    const double scale = size.height() / double(frameSide);
    const int margin = int(std::lround(shadowMargin * scale));
    const int spread = std::max(1, int(std::lround(scale)));
    QImage silhouette = framed;
    {
        QPainter painter(&silhouette);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(silhouette.rect(), Qt::black);
    }
    QImage shadowed(size + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    shadowed.fill(Qt::transparent);
    QPainter painter(&shadowed);
    const int draws = (2 * spread + 1) * (2 * spread + 1);
    painter.setOpacity(1 - std::pow(1 - 0.33, 1.0 / draws));
    const int down = int(std::lround(scale));
    for (int dy = -spread; dy <= spread; ++dy) {
        for (int dx = -spread; dx <= spread; ++dx) {
            painter.drawImage(margin + dx, margin + down + dy, silhouette);
        }
    }
    painter.setOpacity(1);
    painter.drawImage(margin, margin, framed);
    return shadowed;
}

}  // namespace qm
