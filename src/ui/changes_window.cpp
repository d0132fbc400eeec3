#include "ui/changes_window.h"

#include "base/exception.h"
#include "store/check_item.h"
#include "ui/sjis_text.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

constexpr size_t ContextLines = 2;

enum class TLineMark : uint8_t { None, Added, Removed, Changed, Fold };

struct TFormatRange
{
    int start;
    int length;
    TWordSpan::Kind kind;
};

// The text as the view shows it, with what marks its lines and words.
struct TChangesPage
{
    QString text;
    std::vector<TLineMark> marks; // one per block of `text`
    std::vector<TFormatRange> ranges;
    std::vector<int> changeBlocks;
};

// Characters that QTextDocument takes as the end of a block (or a frame) inside a line would shift every block
// after them; they become spaces, which keeps the offsets of the formats.
void appendLine(QString& text, const std::string& utf8)
{
    const qsizetype start = text.size();
    text += QString::fromUtf8(utf8);
    for (qsizetype i = start; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == 0xfdd0 || c == 0xfdd1)
            text[i] = QLatin1Char(' ');
    }
}

TLineMark markOf(TDiffLine::Kind kind)
{
    switch (kind) {
    case TDiffLine::Added:
        return TLineMark::Added;
    case TDiffLine::Removed:
        return TLineMark::Removed;
    case TDiffLine::Changed:
        return TLineMark::Changed;
    case TDiffLine::Same:
        break;
    }
    return TLineMark::None;
}

TChangesPage composePage(const TTextDiff& diff, bool whole)
{
    TChangesPage page;
    std::vector<TLineRun> runs;
    if (!whole)
        runs = shownLines(diff, ContextLines);
    // Two equal versions have no change to fold around: their whole text is shown.
    if (runs.empty() && !diff.lines.empty())
        runs.push_back({ 0, diff.lines.size() });
    auto changeStart = diff.changeStarts.begin();
    size_t next = 0; // the first line not yet shown or folded
    auto newBlock = [&page](TLineMark mark) {
        if (!page.marks.empty())
            page.text += QLatin1Char('\n');
        page.marks.push_back(mark);
    };
    auto fold = [&](size_t count) {
        newBlock(TLineMark::Fold);
        page.text += QStringLiteral("⋯ %1行 ⋯").arg(count);
    };
    for (const TLineRun& run : runs) {
        if (run.first > next)
            fold(run.first - next);
        for (size_t i = run.first; i < run.first + run.count; ++i) {
            const TDiffLine& line = diff.lines[i];
            if (changeStart != diff.changeStarts.end() && *changeStart == i) {
                page.changeBlocks.push_back(static_cast<int>(page.marks.size()));
                ++changeStart;
            }
            newBlock(markOf(line.kind));
            const int start = static_cast<int>(page.text.size());
            if (line.kind == TDiffLine::Changed && !line.words.empty()) {
                for (const TWordSpan& span : line.words) {
                    const int spanStart = static_cast<int>(page.text.size());
                    appendLine(page.text, span.text);
                    if (span.kind != TWordSpan::Same)
                        page.ranges.push_back({ spanStart, static_cast<int>(page.text.size()) - spanStart, span.kind });
                }
                continue;
            }
            appendLine(page.text, line.text);
            const int length = static_cast<int>(page.text.size()) - start;
            if (line.kind == TDiffLine::Added && length > 0)
                page.ranges.push_back({ start, length, TWordSpan::Added });
            else if (line.kind == TDiffLine::Removed && length > 0)
                page.ranges.push_back({ start, length, TWordSpan::Removed });
        }
        next = run.first + run.count;
    }
    if (diff.lines.size() > next && !page.marks.empty())
        fold(diff.lines.size() - next);
    return page;
}

// Colours that read on the palette's own base: light tints on a light base, deep ones under a dark theme's
// light text.
struct TChangesColours
{
    QColor addedBack;
    QColor removedBack;
    QColor addedMark;
    QColor removedMark;
    QColor changedMark;
    QColor foldText;
};

TChangesColours changesColours(const QPalette& palette)
{
    if (palette.color(QPalette::Base).lightness() < 128)
        return { QColor(0x1f, 0x4d, 0x2b), QColor(0x6a, 0x1f, 0x26), QColor(0x3f, 0xb9, 0x50), QColor(0xf8, 0x51, 0x49),
            QColor(0xd2, 0x99, 0x22), palette.color(QPalette::PlaceholderText) };
    return { QColor(0xcc, 0xf5, 0xd3), QColor(0xff, 0xd0, 0xcc), QColor(0x1a, 0x7f, 0x37), QColor(0xcf, 0x22, 0x2e),
        QColor(0x9a, 0x67, 0x00), palette.color(QPalette::PlaceholderText) };
}

QString readFailure(const TException& e)
{
    return QStringLiteral("履歴を読めません（%1）").arg(QString::fromStdString(e.message()));
}

} // namespace

// The text of the newer version, with a margin beside it that marks each line that changed.
class TChangesText : public QPlainTextEdit
{
public:
    explicit TChangesText(QWidget* parent);

    void showPage(const TChangesPage& page, const TChangesColours& colours);
    void showPlain(const QString& text);
    int marginWidth() const;
    void paintMargin(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class TMargin : public QWidget
    {
    public:
        explicit TMargin(TChangesText* text)
            : QWidget(text)
            , m_text(text)
        {
        }

    protected:
        void paintEvent(QPaintEvent* event) override { m_text->paintMargin(event); }

    private:
        TChangesText* m_text;
    };

    TMargin* m_margin;
    std::vector<TLineMark> m_marks;
    TChangesColours m_colours;
};

TChangesText::TChangesText(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_margin(new TMargin(this))
{
    setObjectName(QStringLiteral("changesText"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setViewportMargins(marginWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, m_margin, [this](const QRect& rect, int dy) {
        if (dy)
            m_margin->scroll(0, dy);
        else
            m_margin->update(0, rect.y(), m_margin->width(), rect.height());
    });
}

int TChangesText::marginWidth() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('+')) + 10;
}

void TChangesText::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_margin->setGeometry(area.left(), area.top(), marginWidth(), area.height());
}

void TChangesText::showPlain(const QString& text)
{
    m_marks.clear();
    setPlainText(text);
}

void TChangesText::showPage(const TChangesPage& page, const TChangesColours& colours)
{
    m_colours = colours;
    m_marks = page.marks;
    // Plain text first, laid out lazily by the view, then formats on the few stretches that changed: a megabyte
    // of rich text would be laid out whole.
    setPlainText(page.text);
    QTextCharFormat added;
    added.setBackground(colours.addedBack);
    QTextCharFormat removed;
    removed.setBackground(colours.removedBack);
    removed.setFontStrikeOut(true);
    QTextCharFormat folded;
    folded.setForeground(colours.foldText);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const TFormatRange& range : page.ranges) {
        cursor.setPosition(range.start);
        cursor.setPosition(range.start + range.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(range.kind == TWordSpan::Added ? added : removed);
    }
    for (size_t block = 0; block < m_marks.size(); ++block) {
        if (m_marks[block] != TLineMark::Fold)
            continue;
        const QTextBlock fold = document()->findBlockByNumber(static_cast<int>(block));
        cursor.setPosition(fold.position());
        cursor.setPosition(fold.position() + fold.length() - 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(folded);
    }
    cursor.endEditBlock();
    m_margin->update();
}

void TChangesText::paintMargin(QPaintEvent* event)
{
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const int stripe = 3;
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= event->rect().bottom()) {
        const qreal height = blockBoundingRect(block).height();
        const size_t number = static_cast<size_t>(block.blockNumber());
        const TLineMark mark = number < m_marks.size() ? m_marks[number] : TLineMark::None;
        if (block.isVisible() && mark != TLineMark::None && mark != TLineMark::Fold) {
            const QColor colour = mark == TLineMark::Added ? m_colours.addedMark
                : mark == TLineMark::Removed               ? m_colours.removedMark
                                                           : m_colours.changedMark;
            const QRectF line(0, top, m_margin->width(), height);
            painter.fillRect(QRectF(0, top, stripe, height), colour);
            if (mark != TLineMark::Changed) {
                painter.setPen(colour);
                painter.drawText(line.adjusted(stripe, 0, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                    mark == TLineMark::Added ? QStringLiteral("+") : QStringLiteral("−"));
            }
        }
        block = block.next();
        top += height;
    }
}

TChangesSubject changesSubject(const TCheckItem& item)
{
    return { item.id(), fromSjis(item.title()), QUrl(fromSjis(item.browseUri()), QUrl::TolerantMode) };
}

TChangesReader::TChangesReader(std::string historyFolder)
    : m_folder(std::move(historyFolder))
{
}

TChangesReader::~TChangesReader() = default;

TChangesResult TChangesReader::read(const std::string& itemId, TChangesRequest request)
{
    std::lock_guard lock(m_mutex);
    TChangesResult result;
    if (itemId.empty())
        return result;
    try {
        if (!m_store) {
            std::error_code error;
            if (!std::filesystem::exists(std::filesystem::path(m_folder) / THistoryStore::FileName, error))
                return result;
            // The depth of this connection is never used to trim: it only reads.
            m_store = std::make_unique<THistoryStore>(m_folder, THistoryStore::MaxDepth);
        }
        result.versions = m_store->versions(itemId);
        const int count = static_cast<int>(result.versions.size());
        if (count == 0)
            return result;
        auto kept = [count](int number, int fallback) { return number >= 1 && number <= count ? number : fallback; };
        result.newer = kept(request.newer, count);
        if (count == 1) {
            result.newerText = m_store->text(itemId, result.newer);
            return result;
        }
        result.older = kept(request.older, std::max(1, result.newer - 1));
        if (result.older == result.newer && request.older == 0)
            result.older = result.newer == 1 ? 2 : result.newer - 1;
        const std::string older = m_store->text(itemId, result.older);
        result.newerText = m_store->text(itemId, result.newer);
        result.diff = diffTexts(older, result.newerText);
    } catch (const TException& e) {
        result = TChangesResult();
        result.failure = readFailure(e);
    }
    return result;
}

TChangesWindow::TChangesWindow(TChangesSubject subject, std::string historyFolder, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , m_subject(std::move(subject))
    , m_reader(std::make_shared<TChangesReader>(std::move(historyFolder)))
{
    setObjectName(QStringLiteral("changesWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("変更点 - ") + m_subject.title);

    m_olderList = new QComboBox(this);
    m_olderList->setObjectName(QStringLiteral("olderVersion"));
    m_newerList = new QComboBox(this);
    m_newerList->setObjectName(QStringLiteral("newerVersion"));
    auto* versions = new QHBoxLayout;
    versions->addWidget(m_olderList);
    versions->addWidget(new QLabel(QStringLiteral("→"), this));
    versions->addWidget(m_newerList);
    versions->addStretch();

    auto makeAction = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        addAction(action);
        return action;
    };
    auto makeButton = [this](QAction* action) {
        auto* button = new QToolButton(this);
        button->setDefaultAction(action);
        return button;
    };
    m_previous = makeAction("previousChange", QStringLiteral("前の変更"), QKeySequence(Qt::SHIFT | Qt::Key_F8));
    m_next = makeAction("nextChange", QStringLiteral("次の変更"), QKeySequence(Qt::Key_F8));
    m_wholeText = makeAction("wholeText", QStringLiteral("全文を表示"), QKeySequence());
    m_wholeText->setCheckable(true);
    m_browse = makeAction("openBrowser", QStringLiteral("ブラウザで開く"), QKeySequence());
    m_browse->setEnabled(!m_subject.viewUrl.isEmpty());
    QAction* closing = makeAction("closeChanges", QString(), QKeySequence(Qt::Key_Escape));
    m_counter = new QLabel(this);
    m_counter->setObjectName(QStringLiteral("changeCounter"));
    auto* moves = new QHBoxLayout;
    moves->addWidget(makeButton(m_previous));
    moves->addWidget(makeButton(m_next));
    moves->addWidget(m_counter);
    moves->addSpacing(12);
    moves->addWidget(makeButton(m_wholeText));
    moves->addStretch();
    moves->addWidget(makeButton(m_browse));

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("changesState"));
    m_state->setWordWrap(true);
    m_state->hide();
    m_text = new TChangesText(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(versions);
    layout->addLayout(moves);
    layout->addWidget(m_state);
    layout->addWidget(m_text, 1);
    resize(820, 620);

    connect(m_next, &QAction::triggered, this, [this] { moveToChange(m_current + 1); });
    connect(m_previous, &QAction::triggered, this, [this] { moveToChange(m_current - 1); });
    connect(m_wholeText, &QAction::toggled, this, [this] { fillText(m_current); });
    connect(m_browse, &QAction::triggered, this, [this] {
        if (openUrl)
            openUrl(m_subject.viewUrl);
    });
    connect(closing, &QAction::triggered, this, &QWidget::close);
    connect(m_text, &QPlainTextEdit::cursorPositionChanged, this, [this] { followCursor(); });
    auto chosen = [this] { compare(m_olderList->currentData().toInt(), m_newerList->currentData().toInt()); };
    connect(m_olderList, &QComboBox::activated, this, chosen);
    connect(m_newerList, &QComboBox::activated, this, chosen);

    updateCounter();
    request({});
}

TChangesWindow::~TChangesWindow() = default;

QString TChangesWindow::versionLabel(const THistoryVersion& version)
{
    return QDateTime::fromSecsSinceEpoch(version.checkTime).toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

int TChangesWindow::changeCount() const
{
    return static_cast<int>(m_changeBlocks.size());
}

void TChangesWindow::compare(int older, int newer)
{
    request({ older, newer });
}

void TChangesWindow::request(TChangesRequest request)
{
    const int number = ++m_latestRequest;
    ++m_pending;
    auto* watcher = new QFutureWatcher<TChangesResult>(this);
    connect(watcher, &QFutureWatcher<TChangesResult>::finished, this, [this, watcher, number] {
        --m_pending;
        // Only the last choice is shown; an earlier one that ends later is dropped.
        if (number == m_latestRequest)
            showResult(watcher->future().takeResult());
        watcher->deleteLater();
    });
    watcher->setFuture(
        QtConcurrent::run([reader = m_reader, id = m_subject.id, request] { return reader->read(id, request); }));
}

void TChangesWindow::showResult(TChangesResult result)
{
    m_result = std::move(result);
    fillVersionLists();
    QString state = m_result.failure;
    if (state.isEmpty() && m_result.versions.empty())
        state = QStringLiteral("このアイテムの文字はまだ記録されていません。「ページの文字を比較」を有効にして確認して"
                               "ください。");
    else if (state.isEmpty() && !m_result.diff)
        state = QStringLiteral("まだ変更は記録されていません");
    m_state->setText(state);
    m_state->setVisible(!state.isEmpty());
    m_wholeText->setEnabled(m_result.diff.has_value());
    fillText(0);
}

void TChangesWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A desktop that turns dark gets colours that read on its new base.
    if (event->type() == QEvent::PaletteChange && m_result.diff)
        fillText(m_current);
}

void TChangesWindow::fillVersionLists()
{
    for (QComboBox* list : { m_olderList, m_newerList }) {
        list->clear();
        // Newest first: the recent versions are the ones looked for.
        for (auto version = m_result.versions.rbegin(); version != m_result.versions.rend(); ++version)
            list->addItem(versionLabel(*version), version->number);
        list->setEnabled(m_result.versions.size() >= 2);
    }
    m_olderList->setCurrentIndex(m_olderList->findData(m_result.older));
    m_newerList->setCurrentIndex(m_newerList->findData(m_result.newer));
}

void TChangesWindow::fillText(int startChange)
{
    m_changeBlocks.clear();
    m_current = -1;
    if (!m_result.diff) {
        m_text->showPlain(QString::fromStdString(m_result.newerText));
        updateCounter();
        return;
    }
    TChangesPage page = composePage(*m_result.diff, m_wholeText->isChecked());
    m_changeBlocks = std::move(page.changeBlocks);
    m_text->showPage(page, changesColours(palette()));
    if (m_changeBlocks.empty())
        updateCounter();
    else
        moveToChange(std::clamp(startChange, 0, changeCount() - 1));
}

void TChangesWindow::moveToChange(int index)
{
    if (index < 0 || index >= changeCount())
        return;
    const QTextBlock block = m_text->document()->findBlockByNumber(m_changeBlocks[static_cast<size_t>(index)]);
    m_text->setTextCursor(QTextCursor(block));
    m_current = index;
    m_text->centerCursor();
    updateCounter();
}

void TChangesWindow::followCursor()
{
    const int block = m_text->textCursor().blockNumber();
    const auto after = std::upper_bound(m_changeBlocks.begin(), m_changeBlocks.end(), block);
    m_current = static_cast<int>(after - m_changeBlocks.begin()) - 1;
    updateCounter();
}

void TChangesWindow::updateCounter()
{
    m_counter->setText(QStringLiteral("変更 %1 / %2").arg(m_current + 1).arg(changeCount()));
    m_next->setEnabled(m_current + 1 < changeCount());
    m_previous->setEnabled(m_current > 0);
}
