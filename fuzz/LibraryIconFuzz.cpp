// Input: two bytes choosing the tile's size, then an app icon as the phone sent it. Whatever the
// bytes, the provider's checks keep Qt's PNG reader to small PNGs, and the tile comes out at the
// size asked for with its shadow's margins.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <cmath>

#include "FuzzCheck.h"
#include "Library/LibraryIconProvider.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    // libpng's complaints about broken files are expected here by the million.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Up to a large tile on a high-density screen; the view asks for no more.
    const QSize asked(1 + data[0] % 192, 1 + data[1] % 192);
    const QByteArray png(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const QImage tile = qm::LibraryIconProvider::render(png, asked);
    const int margin = int(std::lround(qm::LibraryIconProvider::shadowMargin * asked.height() /
                                       double(qm::LibraryIconProvider::frameSide)));
    check(tile.size() == asked + QSize(2 * margin, 2 * margin));
    return 0;
}
