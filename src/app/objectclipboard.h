#pragma once
// Copies of canvas objects on the clipboard, so they can be pasted into this layout or another:
// a copied object takes the objects that follow it (a barcode's human-readable text) along, and
// pasted copies get ids of their own with the links between them kept.

#include <QObject>
#include <QVariantList>

class ObjectClipboard : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canPaste READ canPaste NOTIFY canPasteChanged)
    Q_PROPERTY(int offset READ offset CONSTANT)
public:
    explicit ObjectClipboard(QObject* parent = nullptr);

    // Clipboard format of copied objects (a JSON array of canvas records).
    static const char* const kMimeType;
    // Copies come this far right and down of the ones copied (4 mm); the editor then looks for
    // free space on the label and keeps this offset only where there is none.
    static constexpr int kOffset = 32;

    bool canPaste() const;
    static int offset() { return kOffset; }

    // Puts the chosen records and the records that follow them (out of `all`) on the clipboard;
    // how many records it holds now.
    Q_INVOKABLE int copy(const QVariantList& chosen, const QVariantList& all);
    // The clipboard's records ready to add to a canvas whose objects use `usedIds`; each paste of
    // the same copy lands one offset further.
    Q_INVOKABLE QVariantList paste(const QVariantList& usedIds);
    // Copies of the chosen records (with their followers) one offset away, without the clipboard.
    Q_INVOKABLE static QVariantList duplicates(const QVariantList& chosen, const QVariantList& all,
                                               const QVariantList& usedIds);

    // The chosen records followed by every record in `all` that follows one of them, in the
    // order of `all`.
    static QVariantList withFollowers(const QVariantList& chosen, const QVariantList& all);
    // The records with fresh ids not in `usedIds`, links among them renumbered, links to objects
    // outside them dropped, moved by (offset, offset).
    static QVariantList renumbered(const QVariantList& records, const QVariantList& usedIds, int offset);

signals:
    void canPasteChanged();

private:
    int m_pastes = 0;
};
