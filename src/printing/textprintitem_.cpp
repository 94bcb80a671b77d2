#include "printing/textprintitem_.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRegularExpression>

namespace {

// Takes every opening and closing mark out of text; true when the opening mark was there.
bool takeMarks(QString& text, const QString& open, const QString& close)
{
    if (!text.contains(open))
        return false;
    text.remove(open);
    text.remove(close);
    return true;
}

// The text without its tags (innermost first, for tags inside arguments): what the object shows
// when every tag comes out empty.
QString withoutTags(QString text)
{
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    for (int before = -1; before != text.size();) {
        before = text.size();
        text.remove(tag);
    }
    return text;
}

} // namespace

TextPrintItem_::TextPrintItem_(Device* device, const QJsonObject& record, int scale, QObject* parent)
    : LayoutItem(device, record, scale, parent != nullptr, nullptr)
{
    setParent(parent);
    const bool quiet = parent != nullptr;
    m_text = record.value(QLatin1String("unformattedString")).toString();
    m_tickBox = record.value(QLatin1String("tickBoxFormat")).toBool(false);
    const QString unformatted = m_text;
    m_tagParser.formatAndPatch(m_text, device, m_tickBox, quiet);
    m_diagnosticsList = m_tagParser.hasDiagnosticsList();

    m_bold = record.value(QLatin1String("bold")).toBool(false);
    if (takeMarks(m_text, QStringLiteral("<b>"), QStringLiteral("</b>")))
        m_bold = true;
    m_underline = record.value(QLatin1String("underline")).toBool(false);
    if (takeMarks(m_text, QStringLiteral("<u>"), QStringLiteral("</u>")))
        m_underline = true;

    m_pixelSize = record.value(QLatin1String("pixelSize")).toInt(12);
    m_elide = record.value(QLatin1String("elide")).toString(QStringLiteral("None"));
    m_alignment = record.value(QLatin1String("alignment")).toString(QStringLiteral("Left"));
    m_fontFamily = record.value(QLatin1String("fontFamily")).toString();
    if (!m_tickBox && m_text.isEmpty())
        m_valid = false;
    // Tags that all came out empty leave only the fixed words, if any: nothing of the report shows.
    QString words = unformatted;
    for (const char* mark : {"<b>", "</b>", "<u>", "</u>"})
        words.remove(QLatin1String(mark)); // marks of the look, not tags of the report
    const bool tagged = words != withoutTags(words);
    if (!m_tickBox &&
        (m_text.trimmed().isEmpty() || (tagged && m_text.trimmed() == withoutTags(unformatted).trimmed())))
        m_fitProblem = tr("empty");
}

bool TextPrintItem_::paint(QPaintDevice* target, QPainter* painter)
{
    Q_UNUSED(target)
    if (!painter)
        return false;
    const QPen savedPen = painter->pen();
    const QBrush savedBrush = painter->brush();
    const QFont savedFont = painter->font();
    applyPlacement(painter);

    QFont font;
    if (!m_fontFamily.isEmpty())
        font.setFamily(m_fontFamily);
    font.setWeight(m_bold ? QFont::Bold : QFont::Normal);
    font.setUnderline(m_underline);
    font.setPixelSize(qMax(1, m_pixelSize * m_scale)); // Qt refuses sizes below one
    painter->setFont(font);
    const QPen blackPen(QBrush(Qt::black), 2 * m_scale, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    painter->setPen(blackPen);
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);

    int flags = Qt::TextDontClip;
    if (!m_text.contains(QLatin1Char('\n')))
        flags |= Qt::TextSingleLine;
    const QRectF box(0, 0, m_width, m_height);

    if (m_background) {
        painter->fillRect(box, Qt::white);
        painter->setPen(blackPen);
    }

    QString text = m_text;
    QRectF bounding = painter->boundingRect(box, flags, text);
    if (m_diagnosticsList) {
        fitDiagnosticsList(painter, box, flags, bounding);
        text = m_text;
    }

    // Half a unit of slack: font metrics round differently at each resolution.
    const bool tooWide = bounding.width() > box.width() + 0.5 * m_scale;
    if (tooWide && !m_tickBox && m_fitProblem.isEmpty())
        m_fitProblem = m_elide != QLatin1String("None") ? tr("elided") : tr("wider than its box");
    if (m_elide != QLatin1String("None") && bounding.width() > box.width()) {
        const QFontMetricsF metrics(painter->font());
        if (m_elide == QLatin1String("Left"))
            text = metrics.elidedText(text, Qt::ElideLeft, int(box.width()));
        else if (m_elide == QLatin1String("Right"))
            text = metrics.elidedText(text, Qt::ElideRight, int(box.width()));
        else if (m_elide == QLatin1String("Middle"))
            text = metrics.elidedText(text, Qt::ElideMiddle, int(box.width()));
    }

    if (m_tickBox) {
        const int side = int(box.height() - 2);
        const QRectF square(1, 1, side, side);
        const QFontMetricsF metrics(painter->font());
        QRectF glyph = metrics.boundingRect(text.left(1));
        glyph.moveCenter(square.center());
        painter->drawRect(square);
        const QString trimmed = text.trimmed();
        painter->drawText(glyph, flags, trimmed.isEmpty() ? QStringLiteral(" ") : trimmed.left(1));
    } else {
        if (m_alignment == QLatin1String("Right"))
            painter->translate(m_width - bounding.width(), 0);
        else if (m_alignment == QLatin1String("Center"))
            painter->translate((m_width - bounding.width()) * 0.5, 0);
        painter->drawText(box, flags, text);
    }

    painter->resetTransform();
    painter->setPen(savedPen);
    painter->setBrush(savedBrush);
    painter->setFont(savedFont);
    return true;
}

void TextPrintItem_::fitDiagnosticsList(QPainter* painter, const QRectF& box, int flags, QRectF& bounding)
{
    const QString moreTests = tr("More tests");
    if (bounding.height() >= box.height() && m_text.contains(QLatin1Char('\n')))
        m_text += QLatin1Char('\n') + moreTests;
    // The first line and the closing line stay; lines before the closing one go, last first.
    while (bounding.height() >= box.height() && m_text.count(QLatin1Char('\n')) >= 2) {
        const int last = m_text.lastIndexOf(QLatin1Char('\n'));
        const int previous = m_text.lastIndexOf(QLatin1Char('\n'), last - 1);
        m_text.remove(previous, last - previous);
        bounding = painter->boundingRect(box, flags, m_text);
    }
    if (bounding.height() >= box.height()) {
        m_text = moreTests;
        bounding = painter->boundingRect(box, flags, m_text);
    }
}

QVariant TextPrintItem_::data(int role) const
{
    switch (role) {
    case BoldRole:
        return m_bold;
    case UnderlineRole:
        return m_underline;
    case UnformattedStringRole:
        return m_text;
    case PixelSizeRole:
        return m_pixelSize;
    case MultilineRole:
        return m_multiline;
    case ElideRole:
        return m_elide;
    case AlignmentRole:
        return m_alignment;
    case TickboxFormatRole:
        return m_tickBox;
    default:
        return LayoutItem::data(role);
    }
}

const QHash<int, QByteArray>& TextPrintItem_::roleNames()
{
    static const QHash<int, QByteArray> names{{BoldRole, "bold"},
                                              {UnderlineRole, "underline"},
                                              {FormattedStringRole, "formattedString"},
                                              {UnformattedStringRole, "unformattedString"},
                                              {PixelSizeRole, "pixelSize"},
                                              {MultilineRole, "multiline"},
                                              {ElideRole, "elide"},
                                              {AlignmentRole, "alignment"},
                                              {ShowBoundingRectRole, "showBoundingRect"},
                                              {TickboxFormatRole, "tickboxFormat"},
                                              {BackgroundRole, "background"}};
    return names;
}
