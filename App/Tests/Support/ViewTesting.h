#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QList>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlListReference>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QTest>
#include <QVariantMap>
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "QuillmereCore/ThreadHandoff.h"

namespace qm::test {

// Bounds a wait for what the app does by itself: long enough for a sanitizer build on a busy
// machine, short enough that a broken step fails instead of hanging.
inline constexpr int waitBound = 30'000;

// Hides a window and delivers what its render thread posted before the window goes: Qt hands
// a signal emitted on another thread to QML through a relay object that leaks when the sender
// is gone by the time the relay runs.
struct WindowCloser {
    void operator()(QQuickWindow* window) const {
        window->hide();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        std::default_delete<QQuickWindow>()(window);
    }
};
using ShownWindow = std::unique_ptr<QQuickWindow, WindowCloser>;

// A QML window made with these initial properties, shown and exposed; null (with the errors
// reported) when it cannot be made.
inline ShownWindow showWindow(QQmlEngine& engine, const QByteArray& qml,
                              const QVariantMap& properties) {
    // Where the module's views are; Qt 6.4 does not look there by itself.
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(&engine);
    component.setData(qml, QUrl());
    if (!component.isReady()) {
        ADD_FAILURE() << component.errorString().toStdString();
        return nullptr;
    }
    std::unique_ptr<QObject> made(component.createWithInitialProperties(properties));
    EXPECT_TRUE(made) << component.errorString().toStdString();
    ShownWindow window(qobject_cast<QQuickWindow*>(made.get()));
    if (!window) {
        return nullptr;
    }
    made.release();
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get(), waitBound));
    return window;
}

// The first item of that name in the visual tree under `root`, delegates included.
inline QQuickItem* findItem(QQuickItem* root, const QString& name) {
    if (!root || root->objectName() == name) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

// Every item under `root` that is shown and matches, in the order of the tree.
inline QList<QQuickItem*> shownItems(QQuickItem* root,
                                     const std::function<bool(const QQuickItem&)>& matches) {
    QList<QQuickItem*> found;
    if (!root || !root->isVisible()) {
        return found;
    }
    if (matches(*root)) {
        found.append(root);
    }
    for (QQuickItem* child : root->childItems()) {
        found += shownItems(child, matches);
    }
    return found;
}

// Every item of that name under `root` that is shown, in the order of the tree.
inline QList<QQuickItem*> shownItems(QQuickItem* root, const QString& name) {
    return shownItems(root, [&](const QQuickItem& item) { return item.objectName() == name; });
}

inline QQuickItem* findItem(QQuickWindow& window, const QString& name) {
    return findItem(window.contentItem(), name);
}

// Asks for a frame and waits until one has been drawn, perhaps by the render thread, whose items
// were laid out after the ask: the frame the render thread may still be drawing was laid out
// before, and what changed since (a menu's entries, a popup's place) is not where it shows.
inline bool waitForFrame(QQuickWindow& window) {
    struct Frames {
        std::atomic<bool> synchronized = false;
        std::atomic<bool> drawn = false;
    };
    const auto frames = std::make_shared<Frames>();
    auto posting = ThreadHandoff::posting();
    // The window's items are laid out just before they are synchronized with the render thread,
    // which waits for nothing else: a synchronization seen here comes after the ask.
    const QMetaObject::Connection synchronized = QObject::connect(
        &window, &QQuickWindow::afterSynchronizing, &window,
        [frames] {
            ThreadHandoff::received();
            frames->synchronized = true;
        },
        Qt::DirectConnection);
    const QMetaObject::Connection swapped = QObject::connect(
        &window, &QQuickWindow::frameSwapped, &window,
        [frames] {
            ThreadHandoff::received();
            frames->drawn = frames->synchronized.load();
        },
        Qt::DirectConnection);
    posting.unlock();
    window.update();
    const bool drawn = QTest::qWaitFor([&] { return frames->drawn.load(); }, waitBound);
    QObject::disconnect(synchronized);
    QObject::disconnect(swapped);
    return drawn;
}

// Shown: the item exists and it and every item it sits in are visible.
inline bool isShown(QQuickWindow& window, const QString& name) {
    const QQuickItem* item = findItem(window, name);
    return item && item->isVisible();
}

// The menus of an ApplicationWindow's menu bar, in order.
inline QList<QObject*> menuBarMenus(QQuickWindow& window) {
    QQmlListReference list(window.property("menuBar").value<QObject*>(), "menus");
    QList<QObject*> menus;
    for (qsizetype i = 0; i < list.count(); ++i) {
        menus << list.at(i);
    }
    return menus;
}

// At least `margin` of the item (all of it where smaller) lies inside the window's content on
// each axis, as drawn, its transforms included.
inline bool inSight(QQuickWindow& window, const QQuickItem& item, qreal margin) {
    const QRectF drawn = item.mapRectToScene(item.boundingRect());
    const QRectF seen = drawn.intersected(window.contentItem()->boundingRect());
    return seen.width() >= std::min(margin, drawn.width()) &&
           seen.height() >= std::min(margin, drawn.height()) && !seen.isEmpty();
}

inline QString textOf(QQuickItem* item) {
    return item ? item->property("text").toString() : "";
}

inline void click(QQuickWindow& window, QQuickItem* item) {
    ASSERT_TRUE(item);
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
}

// The presses and releases of one key, by the display's code, that reach a window, counted
// before the app handles them; `onRelease` acts at each release.
class KeyEvents : public QObject {
public:
    KeyEvents(QWindow& window, quint32 code, std::function<void()> onRelease = {})
        : window_(window), code_(code), onRelease_(std::move(onRelease)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~KeyEvents() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* receiver, QEvent* event) override {
        const bool press = event->type() == QEvent::KeyPress;
        if (receiver == &window_ && (press || event->type() == QEvent::KeyRelease) &&
            static_cast<const QKeyEvent*>(event)->nativeScanCode() == code_) {
            ++(press ? presses : releases);
            if (!press && onRelease_) {
                onRelease_();
            }
        }
        return false;
    }

    int presses = 0;
    int releases = 0;

private:
    QWindow& window_;
    quint32 code_;
    std::function<void()> onRelease_;
};

}  // namespace qm::test
