#include "app/translator.h"

#include "settings/settingsmanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QQmlContext>
#include <QQuickView>
#include <QSettings>
#include <QTranslator>

namespace {
const QString kEnglish = QStringLiteral("English");
}

Translator::Translator(QCoreApplication* application, QQuickView* view, bool rememberChoice, QObject* parent)
    : QObject(parent), m_application(application), m_view(view), m_rememberChoice(rememberChoice)
{
    const QString descriptionFile = QFileInfo::exists(QString::fromLatin1(kSystemDescriptionFile))
                                        ? QString::fromLatin1(kSystemDescriptionFile)
                                        : QString::fromLatin1(kResourceDescriptionFile);
    m_languageDescriptions = new QSettings(descriptionFile, QSettings::IniFormat, this);
    m_languageDescriptions->setIniCodec("UTF-8"); // display names such as "Français"
    m_currentLanguage = defaultLanguage();

    for (const QString& id : languageIds()) {
        auto* translator = new QTranslator(this);
        const QString path = QStringLiteral(":/i18n/%1.qm").arg(id);
        if (translator->load(path)) {
            m_translators.insert(id, translator);
        } else {
            qDebug() << "Translator file " << path << " is not loadable";
            delete translator;
        }
    }
    if (m_translators.isEmpty()) {
        qDebug() << "Could not load any translators!";
        return;
    }

    if (m_rememberChoice) {
        if (SettingsManager* settings = SettingsManager::instance())
            m_currentLanguage = settings->getValue(QStringLiteral("UI/language"), kEnglish);
        else
            m_currentLanguage = kEnglish;
    }
    if (m_view)
        m_view->rootContext()->setContextProperty(QStringLiteral("translator"), this);

    if (!m_translators.contains(m_currentLanguage)) {
        qDebug() << "Translator for current language " << m_currentLanguage << " could not be loaded";
        m_currentLanguage = defaultLanguage();
        if (!m_translators.contains(m_currentLanguage))
            qDebug() << "Translator for default language " << m_currentLanguage << " could not be loaded";
    }
    m_currentTranslator = m_translators.value(m_currentLanguage, nullptr);
    if (m_currentTranslator && m_application)
        m_application->installTranslator(m_currentTranslator);
}

Translator::~Translator()
{
    if (m_currentTranslator && m_application)
        m_application->removeTranslator(m_currentTranslator);
}

QStringList Translator::languageIds() const
{
    // A value with commas comes back from an INI file as a string list; join it back first.
    const QVariant raw = m_languageDescriptions->value(QStringLiteral("languages"));
    const QString joined =
        raw.type() == QVariant::StringList ? raw.toStringList().join(QLatin1Char(',')) : raw.toString();
    if (joined.isEmpty())
        return {kEnglish};
    return joined.split(QLatin1Char(' '));
}

QString Translator::defaultLanguage() const
{
    const QString id = m_languageDescriptions->value(QStringLiteral("default")).toString();
    return id.isEmpty() ? kEnglish : id;
}

QString Translator::displayName(const QString& id) const
{
    return m_languageDescriptions->value(id + QStringLiteral("/name"), id).toString();
}

QStringList Translator::availableLanguages() const
{
    QStringList names;
    for (const QString& id : languageIds())
        names.append(displayName(id));
    return names;
}

void Translator::setLanguage(const QString& languageName)
{
    QString id;
    bool found = false;
    for (const QString& candidate : languageIds()) {
        if (displayName(candidate) == languageName) {
            id = candidate;
            found = true;
            break;
        }
    }
    if (!found) {
        qDebug() << "Cannot change to unsupported language:" << languageName;
        return;
    }
    if (id == m_currentLanguage)
        return;
    QTranslator* translator = m_translators.value(id, nullptr);
    if (!translator) {
        qDebug() << "Cannot change to unsupported language:" << languageName << id;
        return;
    }
    if (m_currentTranslator && m_application)
        m_application->removeTranslator(m_currentTranslator);
    m_currentLanguage = id;
    m_currentTranslator = translator;
    if (m_application)
        m_application->installTranslator(translator);
    if (m_rememberChoice) {
        if (SettingsManager* settings = SettingsManager::instance())
            settings->setValue(QStringLiteral("UI/language"), id);
    }
    emit languageChanged();
}

QString Translator::selectedLanguage() const
{
    const QString name = m_currentLanguage.isEmpty() ? QString() : displayName(m_currentLanguage);
    return name.isEmpty() ? kEnglish : name;
}

QString Translator::selectedLanguageTranslator() const
{
    return m_currentLanguage;
}

QString Translator::translate(const QString& context, const QString& text) const
{
    if (!m_currentTranslator)
        return text;
    return m_currentTranslator->translate(context.toLatin1().constData(), text.toLatin1().constData());
}

QString Translator::getLanguageFromSettings(const QString& settings) const
{
    if (!settings.isEmpty() && languageIds().contains(settings))
        return displayName(settings);
    return displayName(defaultLanguage());
}

QString Translator::languageForSettings(const QString& languageName) const
{
    for (const QString& id : languageIds()) {
        if (displayName(id) == languageName)
            return id;
    }
    return defaultLanguage();
}

QString Translator::escaped(const QString& text) const
{
    return text.toHtmlEscaped();
}

QString Translator::jsonEscaped(const QString& text) const
{
    QString out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool asciiAlnum = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (asciiAlnum)
            out.append(c);
        else
            out.append(QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0')));
    }
    return out;
}

QString Translator::getDefaultDateFormat() const
{
    return m_languageDescriptions->value(m_currentLanguage + QStringLiteral("/dateformat")).toString();
}

QString Translator::getDefault12HourFormat() const
{
    return m_languageDescriptions->value(m_currentLanguage + QStringLiteral("/timeformat")).toString();
}
