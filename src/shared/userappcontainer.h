#pragma once
// The station's own files that layouts use: the logo images in the local logo folder.

#include <QObject>
#include <QStringList>

class UserAppContainer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList logos READ logos NOTIFY logosChanged)
    Q_PROPERTY(QString logoDir READ logoDir CONSTANT)
public:
    explicit UserAppContainer(QObject* parent = nullptr);

    // Image files in the logo folder, by name.
    QStringList logos() const;
    // The logo folder, ending with "/".
    QString logoDir() const;

    // Removes a logo of the folder; false (with a log line) for unknown or unsafe names.
    Q_INVOKABLE bool removeLocalLogo(const QString& name);
    // Copies an image file (a path or a file: URL, from any folder) into the logo folder. Empty when
    // it is there, else what went wrong, for the user: a file that cannot be read or is no picture,
    // or a different logo of the same name, which is never replaced.
    Q_INVOKABLE QString importLogo(const QString& source);
    // importLogo, true when it succeeded.
    Q_INVOKABLE bool importLogoFromUsb(const QString& source);

    // Mounted removable drives (folders under /media and /run/media), where logos often come from.
    Q_INVOKABLE QStringList removableMedia() const;
    // The folder the import dialog opens: the first removable drive, else the home folder.
    Q_INVOKABLE QString importFolder() const;

signals:
    void logosChanged();
};
