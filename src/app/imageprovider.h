#pragma once
// The QML image provider "layouts": loads layout preview pictures and other image files from disk.

#include <QQuickImageProvider>

class ImageProvider : public QQuickImageProvider
{
public:
    ImageProvider();

    // "layout/<name>" reads <name> in the layout directory (anything from "???" on is a cache
    // breaker and ignored); "report/..." is the layout as printed for the chosen report; any other
    // id is a file path, with snapshot URL prefixes removed.
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
    // The picture "report/..." gives, for every engine's provider; requests come on the engines'
    // loader threads.
    static void setReportPicture(const QImage& picture);

    // The file an id refers to; empty for an empty id.
    static QString pathForId(const QString& id);
};
