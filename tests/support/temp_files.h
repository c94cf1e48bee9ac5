#pragma once
// A temporary folder for tests that read and write files; removed with everything in it when the
// object goes. Tests never touch the real settings file.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace brevio::test {

class TempFolder {
public:
    QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    QString Root() const { return dir_.path(); }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = Path(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    QByteArray Read(const QString& name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
};

// Sets (or, with a null value, removes) an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QString& value)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        Set(value);
    }
    ~ScopedEnvironment()
    {
        if (wasSet_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    void Set(const QString& value) const
    {
        if (value.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, value.toLocal8Bit());
    }

private:
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

}  // namespace brevio::test
