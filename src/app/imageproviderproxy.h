#pragma once
// The image provider registered with the QML engine; forwards every request to the window's
// shared ImageProvider, so the engine can own and delete the proxy without the provider.

#include <QQuickImageProvider>
#include <QSharedPointer>

class ImageProvider;

class ImageProviderProxy : public QQuickImageProvider
{
public:
    explicit ImageProviderProxy(const QSharedPointer<ImageProvider>& provider);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
    QPixmap requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) override;
    QQuickTextureFactory* requestTexture(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QSharedPointer<ImageProvider> m_provider;
};
