#pragma once
// The QML image provider "layouts": loads layout preview pictures and other image files from disk.

#include <QQuickImageProvider>

class ImageProvider : public QQuickImageProvider
{
public:
    ImageProvider();

    // "layout/<name>" reads <name> in the layout directory (anything from "???" on is a cache
    // breaker and ignored); any other id is a file path, with snapshot URL prefixes removed.
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The file an id refers to; empty for an empty id.
    static QString pathForId(const QString& id);
};
