#pragma once
// One running copy of the window program per settings file. The first copy holds a lock file
// beside the settings file and listens on a local socket named after the file's path; a later
// copy finds the lock taken, asks the running copy to show its window (unless it was started
// hidden, as autorun does) and ends. A lock left by a copy that was killed is taken over.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace brevio {

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& settingsFile, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the running copy now (the lock is held and requests are listened for),
    // also when the lock cannot be made at all (a read-only folder: the program then runs
    // without the guard rather than not at all). False when another copy runs; that copy was
    // asked to show its window when `showRunningCopy` is true, and this one should end.
    bool Claim(bool showRunningCopy);

    // The local socket name for a settings file: the same for every spelling of its path.
    static QString ServerName(const QString& settingsFile);

signals:
    // Another copy was started without the hidden-start argument.
    void ShowRequested();

private:
    void Listen();
    void OnConnection();
    bool AskRunningCopyToShow();

    QString serverName_;
    QLockFile lock_;
    QLocalServer server_;
};

}  // namespace brevio
