#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace qm {

// One running instance per user. The first start listens on a local socket; a later start
// reaches it, asks it to raise its window and ends. A socket left behind by a crash answers no
// one and is taken over. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The socket in the user's runtime folder.
    static QString standardName();

    // Claims `name`, or asks its holder to raise its window.
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);

    // False when another instance holds the name and was asked to come forward.
    bool isPrimary() const noexcept { return primary_; }

signals:
    // A later start asked this instance to bring its window forward.
    void raiseRequested();

private:
    static bool askHolderToRaise(const QString& name);

    QLocalServer server_;
    bool primary_ = true;
};

}  // namespace qm
