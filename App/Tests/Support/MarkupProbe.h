#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QQmlEngine>
#include <QQuickItem>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ViewTesting.h"

namespace qm::test {

// Catches text shown as markup: an image the text names is fetched from this loopback listener,
// where every request's path is recorded. Runs on the test's event loop.
class MarkupProbe {
public:
    MarkupProbe() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine()) {
                        const QList<QByteArray> words = socket->readLine().split(' ');
                        if (words.size() == 3 && words[0] == "GET") {
                            paths_.append(QString::fromLatin1(words[1]));
                            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                        }
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    // Markup that names an image of this name here.
    QString image(const QString& name) const {
        return QStringLiteral(R"(<img src="http://127.0.0.1:%1/%2.png">)")
            .arg(server_.serverPort())
            .arg(name);
    }

    // The paths fetched by `engine` before an image it then shows as rich text: the engine's
    // images are fetched in the order asked for.
    std::vector<std::string> fetchedBefore(QQmlEngine& engine) {
        const ShownWindow control = showWindow(
            engine,
            QStringLiteral(
                "import QtQuick\nWindow { Text { textFormat: Text.RichText; text: '%1' } }")
                .arg(image("control"))
                .toUtf8(),
            {});
        const QString controlPath = QStringLiteral("/control.png");
        EXPECT_TRUE(QTest::qWaitFor([&] { return paths_.contains(controlPath); }, waitBound));
        std::vector<std::string> before;
        for (const QString& path : paths_) {
            if (path != controlPath) {
                before.push_back(path.toStdString());
            }
        }
        return before;
    }

private:
    QTcpServer server_;
    QStringList paths_;
};

// Whether a Text or Label draws its text as written: markup would draw in place of the whole
// text something narrower than it.
inline bool drawnAsWritten(const QQuickItem* text) {
    const QFontMetricsF metrics(text->property("font").value<QFont>());
    return text->implicitWidth() >=
           metrics.horizontalAdvance(text->property("text").toString()) - 1;
}

}  // namespace qm::test
