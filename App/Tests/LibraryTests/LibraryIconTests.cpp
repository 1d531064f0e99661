#include <QBuffer>
#include <QImage>
#include <QQuickImageResponse>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Library/LibraryIconProvider.h"

namespace qm {
namespace {

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage filled(QSize size, QImage::Format format, Qt::GlobalColor colour) {
    QImage image(size, format);
    image.fill(colour);
    return image;
}

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

TEST(LibraryIconTest, OnlySmallPNGsAreDrawnAndEverythingElseShowsTheSymbol) {
    const QSize size(96, 96);
    const QImage symbol = LibraryIconProvider::render({}, size);
    // The frame plus the shadow's margin, and the symbol really drawn.
    ASSERT_EQ(symbol.size(), QSize(102, 102));
    EXPECT_NE(symbol, filled(symbol.size(), symbol.format(), Qt::transparent));

    const QImage red = LibraryIconProvider::render(
        encoded(filled({48, 48}, QImage::Format_RGB32, Qt::red), "png"), size);
    EXPECT_EQ(centre(red), QColor(Qt::red));
    EXPECT_EQ(red.pixelColor(3, 3).alpha(), 0);  // outside the rounded corner

    const QByteArray png = encoded(filled({48, 48}, QImage::Format_RGB32, Qt::red), "png");
    const struct {
        std::string name;
        QByteArray bytes;
    } refused[] = {
        {"corrupt", png.left(png.size() / 2) + QByteArray(64, 'x')},
        {"not an image", "not an image"},
        {"a JPEG", encoded(filled({48, 48}, QImage::Format_RGB32, Qt::red), "jpg")},
        {"5000 × 5000", encoded(filled({5000, 5000}, QImage::Format_Mono, Qt::color1), "png")},
        {"1025 wide", encoded(filled({1025, 1}, QImage::Format_RGB32, Qt::red), "png")},
    };
    for (const auto& icon : refused) {
        SCOPED_TRACE(icon.name);
        ASSERT_FALSE(icon.bytes.isEmpty());
        EXPECT_EQ(LibraryIconProvider::render(icon.bytes, size), symbol);
    }
    EXPECT_NE(LibraryIconProvider::render(
                  encoded(filled({1024, 1024}, QImage::Format_RGB32, Qt::red), "png"), size),
              symbol);
}

TEST(LibraryIconTest, ServesTheLastPublishedList) {
    LibraryIconProvider provider;
    const auto request = [&](const QString& id) {
        std::unique_ptr<QQuickImageResponse> response(
            provider.requestImageResponse(id, QSize(96, 96)));
        QSignalSpy finished(response.get(), &QQuickImageResponse::finished);
        EXPECT_TRUE(finished.wait());
        return std::unique_ptr<QQuickTextureFactory>(response->textureFactory())->image();
    };
    const QByteArray redPNG = encoded(filled({8, 8}, QImage::Format_RGB32, Qt::red), "png");
    const Bytes red(redPNG.begin(), redPNG.end());
    const int revision = provider.publish({{"com.red.game", "Red", true, 0, red}});
    EXPECT_EQ(centre(request(QString("%1/com.red.game").arg(revision))), QColor(Qt::red));
    // A list refreshed with the same icons keeps their URLs, so no tile loads its icon again.
    EXPECT_EQ(provider.publish({{"com.red.game", "Red Again", true, 9, red}}), revision);
    EXPECT_EQ(request(QString("%1/com.unknown").arg(revision)),
              LibraryIconProvider::render({}, QSize(96, 96)));

    EXPECT_GT(provider.publish({}), revision);
    EXPECT_EQ(request(QString("%1/com.red.game").arg(revision)),
              LibraryIconProvider::render({}, QSize(96, 96)));
}

}  // namespace
}  // namespace qm
