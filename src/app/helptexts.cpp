#include "app/helptexts.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

namespace {

QString readPage(const QString& name)
{
    QFile file(QStringLiteral(":/ui/help/%1.html").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

QString HelpTexts::page(const QString& view) const
{
    // The name becomes part of a resource path: letters only.
    static const QRegularExpression plainName(QStringLiteral("\\A[a-z]+\\z"));
    if (!plainName.match(view).hasMatch())
        return QString();
    const QString own = readPage(view);
    if (own.isEmpty()) {
        qDebug() << "No help page for the view" << view;
        return QString();
    }
    return own + readPage(QStringLiteral("common"));
}
