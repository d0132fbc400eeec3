#include "ui/form_widgets.h"

#include "session/sjis_text.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

namespace {

// Properties that keep the bytes an edit was filled with and the text it showed for them.
const char* const StoredBytes = "vantrelStoredBytes";
const char* const ShownText = "vantrelShownText";

bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20 || c.category() == QChar::Other_Control;
}

// Trailing bytes up to 0x20 and 0x7F are never the second byte of a Shift_JIS character,
// so trimming them from the bytes cannot split a character.
bool isTrimmedByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F;
}

std::string trimmedBytes(const std::string& bytes)
{
    size_t begin = 0;
    size_t end = bytes.size();
    while (begin < end && isTrimmedByte(bytes[begin]))
        ++begin;
    while (end > begin && isTrimmedByte(bytes[end - 1]))
        --end;
    return bytes.substr(begin, end - begin);
}

// Characters that Shift_JIS cannot hold become "?", the mark the user was warned of; the code page's own
// substitute would be an unassigned byte pair.
QString storableText(const QString& text)
{
    const QString bad = unstorableCharacters(text);
    if (bad.isEmpty())
        return text;
    QString result;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, length);
        result += bad.contains(one) ? QStringLiteral("?") : one;
        i += length;
    }
    return result;
}

} // namespace

QFont designFont(int pixelSize, bool bold)
{
    static const QString family = [] {
        QString name = QStringLiteral("ＭＳ ゴシック");
        QFont::insertSubstitutions(name,
            { QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                QStringLiteral("VL Gothic"), QStringLiteral("Monospace") });
        return name;
    }();
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QString trimmedText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

void setEditText(QLineEdit* edit, const std::string& text)
{
    const QString shown = fromSjis(text);
    edit->setProperty(StoredBytes, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    edit->setProperty(ShownText, shown);
    edit->setText(shown);
    edit->setCursorPosition(0);
}

bool editUntouched(const QLineEdit* edit)
{
    const QVariant shown = edit->property(ShownText);
    return shown.isValid() && shown.toString() == edit->text();
}

std::string editText(const QLineEdit* edit)
{
    if (editUntouched(edit)) {
        const QByteArray bytes = edit->property(StoredBytes).toByteArray();
        return trimmedBytes(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
    return storedText(trimmedText(edit->text()));
}

std::string storedText(const QString& text)
{
    return toSjis(storableText(text));
}

QLineEdit* plainEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    return edit;
}

QLineEdit* readOnlyEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setReadOnly(true);
    return edit;
}

QLabel* buddyLabel(const QString& objectName, const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

QCheckBox* checkBox(const QString& objectName, const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    return box;
}

QGroupBox* groupBox(const QString& objectName, const QString& title, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(objectName);
    return box;
}

QGridLayout* layOutGroupBox(
    QGroupBox* box, QBoxLayout* layout, const TGridShape& shape, std::initializer_list<TGridCell> cells)
{
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(shape.margins);
    if (shape.verticalSpacing >= 0)
        grid->setVerticalSpacing(shape.verticalSpacing);
    for (const TGridCell& cell : cells)
        grid->addWidget(cell.widget, cell.row, cell.column, cell.rowSpan, cell.columnSpan, cell.alignment);
    for (const auto& [column, stretch] : shape.columnStretches)
        grid->setColumnStretch(column, stretch);
    layout->addWidget(box);
    return grid;
}
