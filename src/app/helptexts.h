#pragma once
// The short help page of each view, compiled in as rich text (":/ui/help/<view>.html"), followed by
// what every view shares (the status bar and the keys).

#include <QObject>
#include <QString>

class HelpTexts : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The page of "jobs", "layouts", "reports" or "settings"; empty for a view without help.
    Q_INVOKABLE QString page(const QString& view) const;
};
