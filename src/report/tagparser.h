#pragma once
// Turns label text with tags into printed text for one device, or example text without one.

#include <QObject>
#include <QString>

#include <memory>

class Device;
class DiagnosticsTestCatalogue;

class TagParser : public QObject
{
    Q_OBJECT
public:
    explicit TagParser(QObject* parent = nullptr);
    ~TagParser() override;

    // Replaces every tag of content in place; device may be null (preview with example values).
    // Always returns true.
    bool formatContent(QString& content, Device* device, bool emptyForUnknown, bool quiet);
    // formatContent, then the upper-case device tags for a real device.
    bool formatAndPatch(QString& content, Device* device, bool emptyForUnknown, bool quiet);
    QString propertyValue(Device* device, QString label, bool emptyForUnknown, bool translate);
    // Label lookup with the custom-field, diagnostics and subscription prefixes, for the device of
    // the text being formatted.
    QString valueForLabel(QString label);
    // Display name of an identifier label.
    QString propertyName(QString label);
    static QString humanReadableSize(quint64 bytes, bool binary);
    // The upper-case device tags ("<MARKETNAME>", "<IMEI>", "<MEID>") of UTF-8 text; other
    // upper-case tags stay.
    QByteArray patchRealValuesImpl(const QByteArray& text, Device* device, QObject* processRoot);

    // Whether the last formatted text held a diagnostics list.
    bool hasDiagnosticsList() const { return m_diagnosticsList; }

    // Nesting of tags inside tag arguments deeper than this is left unformatted.
    static constexpr int kMaxNesting = 32;

private:
    struct Context
    {
        Device* device = nullptr;
        bool emptyForUnknown = false;
        bool quiet = false;
        bool translate = true;
        int depth = 0;
        const char* signature = "";
        const QString* original = nullptr; // the unformatted text, for messages
    };
    enum class Outcome
    {
        Replace, // the tag gives way to the value
        Keep,    // a known tag without a value: it stays, scanning goes on after it
        NoMatch  // not a tag: scanning goes on one character after its "<"
    };

    void formatTags(QString& content, Context context);
    Outcome handleTag(const QString& tag, Context& context, QString* value);
    Outcome handleArgumentTag(const QString& tag, Context& context, QString* value);
    QString valueForLabel(const QString& label, const Context& context);
    QString propertyValue(const QString& label, const Context& context);
    QString firstOf(const QString& arg, bool wantName, Context& context);
    QString mapValue(const QString& arg, const Context& context);
    QString diagnosticsList(const QString& arg, const Context& context);
    // The device's own field, else its report's "user_data" field, else the store's.
    QString deviceCustomField(Device* device, const QString& name, bool* found) const;
    // The store's field, else the bound report's.
    QString customField(Device* device, const QString& name, bool* found) const;
    QString formatNested(const QString& text, const Context& context);
    DiagnosticsTestCatalogue* catalogue();

    bool m_diagnosticsList = false;
    Context m_current; // the call in progress, for valueForLabel
    std::unique_ptr<DiagnosticsTestCatalogue> m_catalogue;
};
