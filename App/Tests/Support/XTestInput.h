#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

struct xcb_connection_t;

namespace qm::test {

// The X server's own keyboard and pointer, moved through XTest as a user's hands would: what the
// application receives has gone through the server, the window manager and Qt's xcb input,
// focus and shortcuts included. Works on the application's own connection, so it needs the Qt
// application on xcb. GUI thread only.
class XTestInput {
public:
    XTestInput();

    // Keys are named as in Qt's key sequences, joined by "+": "Meta+Shift+D", "Ctrl+Meta+F",
    // "Escape", "Meta+,". A character on a shifted key ("Meta+?") adds Shift by itself.
    // Presses the keys in order and lets them go in reverse.
    ::testing::AssertionResult press(const QString& chord);
    // Presses them and keeps them down, for a key the test holds across a step.
    ::testing::AssertionResult hold(const QString& chord);
    ::testing::AssertionResult release(const QString& chord);

    // Screen coordinates; buttons as X numbers them (1 left, 2 middle, 3 right).
    void moveTo(QPoint global);
    // A motion of the pointer by that much, as a mouse reports it.
    void moveBy(QPoint delta);
    void click(QPoint global, std::uint8_t button = 1);
    // A click that the server makes that many milliseconds from now, without waiting for it: the
    // application runs meanwhile, though the server answers none of its requests until then.
    void clickLater(QPoint global, std::uint32_t milliseconds, std::uint8_t button = 1);
    void pressButton(std::uint8_t button = 1);
    void releaseButton(std::uint8_t button = 1);

    // Returns once the server has handled everything sent so far.
    void sync();

private:
    struct Key {
        std::uint8_t code = 0;
        bool shifted = false;
    };

    ::testing::AssertionResult keysOf(const QString& chord, std::vector<std::uint8_t>& codes);
    Key keyOf(std::uint32_t symbol) const;
    void send(std::uint8_t type, std::uint8_t detail, QPoint at = {}, std::uint32_t delay = 0);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t firstCode_ = 0;
    int perCode_ = 0;
    std::vector<std::uint32_t> symbols_;
};

}  // namespace qm::test
