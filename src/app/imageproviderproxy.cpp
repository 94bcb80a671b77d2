#include "app/imageproviderproxy.h"

#include "app/imageprovider.h"

ImageProviderProxy::ImageProviderProxy(const QSharedPointer<ImageProvider>& provider)
    : QQuickImageProvider(QQmlImageProviderBase::Image,
                          provider ? provider->flags() : QQmlImageProviderBase::Flags()),
      m_provider(provider)
{}

QImage ImageProviderProxy::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    return m_provider ? m_provider->requestImage(id, size, requestedSize) : QImage();
}

QPixmap ImageProviderProxy::requestPixmap(const QString& id, QSize* size, const QSize& requestedSize)
{
    return m_provider ? m_provider->requestPixmap(id, size, requestedSize) : QPixmap();
}

QQuickTextureFactory* ImageProviderProxy::requestTexture(const QString& id, QSize* size,
                                                         const QSize& requestedSize)
{
    return m_provider ? m_provider->requestTexture(id, size, requestedSize) : nullptr;
}
