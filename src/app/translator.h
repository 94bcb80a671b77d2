#pragma once
// The user-interface language: the languages on offer, switching, and the selected language's formats.

#include <QMap>
#include <QObject>
#include <QStringList>

class QCoreApplication;
class QQuickView;
class QSettings;
class QTranslator;

class Translator : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString uiForce READ uiForce NOTIFY languageChanged)
public:
    Translator(QCoreApplication* application, QQuickView* view, bool rememberChoice,
               QObject* parent = nullptr);
    ~Translator() override;

    Q_INVOKABLE QStringList availableLanguages() const;
    Q_INVOKABLE void setLanguage(const QString& languageName);
    Q_INVOKABLE QString selectedLanguage() const;
    Q_INVOKABLE QString selectedLanguageTranslator() const;
    Q_INVOKABLE QString translate(const QString& context, const QString& text) const;
    Q_INVOKABLE QString getLanguageFromSettings(const QString& settings) const;
    Q_INVOKABLE QString languageForSettings(const QString& languageName) const;
    Q_INVOKABLE QString escaped(const QString& text) const;
    Q_INVOKABLE QString jsonEscaped(const QString& text) const;
    Q_INVOKABLE QString getDefaultDateFormat() const;
    Q_INVOKABLE QString getDefault12HourFormat() const;

    // Always empty; QML appends it to translated texts so they re-evaluate on a language change.
    QString uiForce() const { return QString(); }

    static constexpr const char* kSystemDescriptionFile = "/etc/korvex_languages";
    static constexpr const char* kResourceDescriptionFile = ":/languages";

signals:
    void languageChanged();

private:
    QStringList languageIds() const;
    QString defaultLanguage() const;
    QString displayName(const QString& id) const;

    QCoreApplication* m_application;
    QString m_currentLanguage;
    QTranslator* m_currentTranslator = nullptr;
    QQuickView* m_view;
    QMap<QString, QTranslator*> m_translators;
    bool m_rememberChoice;
    QSettings* m_languageDescriptions;
};
