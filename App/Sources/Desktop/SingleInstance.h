#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace qm {

// One running instance per user. The first start listens on a local socket; a later start
// reaches it, asks it to raise its window and ends. A socket left behind by a crash answers no
// one and is taken over. The socket lives only in a folder of the user's own that no one else may
// enter; without one, every start runs as the first. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The socket in the user's runtime folder.
    static QString standardName();

    // Claims `name`, or asks its holder to raise its window; neither when the folder of `name` is
    // not the user's own with mode 0700, which is logged.
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
