#include "ui/changes_window.h"

#include "base/exception.h"
#include "session/sjis_text.h"
#include "store/check_item.h"
#include "ui/check_list_model.h"
#include "ui/item_list.h"
#include "ui/run_controller.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

enum class TLineMark : uint8_t { None, Added, Removed, Changed, Fold };

// The view's document with what marks its lines, made off the window's thread.
struct TChangesShown
{
    std::unique_ptr<QTextDocument> document;
    std::vector<TLineMark> marks; // one per block; empty when nothing is marked
    std::vector<int> changeBlocks; // the block where each change begins
    TChangesResult result; // what was read, when the versions were read for it
    bool read = false;
};

namespace {

constexpr size_t ContextLines = 2;
// Marks the characters of the older version, which a copy leaves out.
constexpr int RemovedProperty = QTextFormat::UserProperty + 1;

// Characters that QTextDocument takes as the end of a block (or a frame) inside a line would shift every block
// after them and so every mark; they become spaces.
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
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    // Halfway between the text and its ground: quiet, and readable on any theme.
    const QColor folded(
        (text.red() + base.red()) / 2, (text.green() + base.green()) / 2, (text.blue() + base.blue()) / 2);
    if (base.lightness() < 128)
        return { QColor(0x1f, 0x4d, 0x2b), QColor(0x6a, 0x1f, 0x26), QColor(0x3f, 0xb9, 0x50), QColor(0xf8, 0x51, 0x49),
            QColor(0xd2, 0x99, 0x22), folded };
    return { QColor(0xcc, 0xf5, 0xd3), QColor(0xff, 0xd0, 0xcc), QColor(0x1a, 0x7f, 0x37), QColor(0xcf, 0x22, 0x2e),
        QColor(0x9a, 0x67, 0x00), folded };
}

// Builds the view's document off the window's thread, where a megabyte of text and its formats take their time.
// Runs of unchanged text go in whole; each marked stretch with its format.
class TShownBuilder
{
public:
    TShownBuilder(const TChangesColours& colours, const QFont& font)
        : m_document(std::make_unique<QTextDocument>())
        , m_cursor(m_document.get())
    {
        m_document->setUndoRedoEnabled(false);
        m_document->setDefaultFont(font);
        m_added.setBackground(colours.addedBack);
        m_removed.setBackground(colours.removedBack);
        m_removed.setFontStrikeOut(true);
        m_removed.setProperty(RemovedProperty, true);
        m_folded.setForeground(colours.foldText);
    }

    void newBlock(TLineMark mark)
    {
        if (!m_marks.empty())
            m_plain += QLatin1Char('\n');
        m_marks.push_back(mark);
    }
    int blockNumber() const { return static_cast<int>(m_marks.size()) - 1; }
    void add(const std::string& utf8, TWordSpan::Kind kind = TWordSpan::Same)
    {
        if (kind == TWordSpan::Same) {
            appendLine(m_plain, utf8);
            return;
        }
        QString marked;
        appendLine(marked, utf8);
        insert(marked, kind == TWordSpan::Added ? m_added : m_removed);
    }
    void fold(size_t lines)
    {
        newBlock(TLineMark::Fold);
        insert(QStringLiteral("⋯ %1行 ⋯").arg(lines), m_folded);
    }
    TChangesShown finish()
    {
        flush();
        m_cursor = QTextCursor();
        // Of no thread until the window takes it: a result that no window takes any more may end anywhere.
        m_document->moveToThread(nullptr);
        TChangesShown shown;
        shown.document = std::move(m_document);
        shown.marks = std::move(m_marks);
        return shown;
    }

private:
    void flush()
    {
        if (!m_plain.isEmpty())
            m_cursor.insertText(m_plain, QTextCharFormat());
        m_plain.clear();
    }
    void insert(const QString& text, const QTextCharFormat& format)
    {
        flush();
        m_cursor.insertText(text, format);
    }

    std::unique_ptr<QTextDocument> m_document;
    QTextCursor m_cursor;
    QString m_plain; // unmarked text not yet inserted
    std::vector<TLineMark> m_marks;
    QTextCharFormat m_added;
    QTextCharFormat m_removed;
    QTextCharFormat m_folded;
};

TChangesShown shownDiff(const TTextDiff& diff, bool whole, const TChangesColours& colours, const QFont& font)
{
    TShownBuilder builder(colours, font);
    std::vector<TLineRun> runs;
    if (!whole) {
        // A fold of a single line takes the room of the line itself: that line is shown instead.
        for (TLineRun run : shownLines(diff, ContextLines)) {
            const size_t end = runs.empty() ? 0 : runs.back().first + runs.back().count;
            if (run.first == 1 && runs.empty())
                run = { 0, run.count + 1 };
            if (!runs.empty() && run.first <= end + 1)
                runs.back().count = run.first + run.count - runs.back().first;
            else
                runs.push_back(run);
        }
        if (!runs.empty() && runs.back().first + runs.back().count + 1 == diff.lines.size())
            ++runs.back().count;
    }
    // Two equal versions have no change to fold around: their whole text is shown.
    if (runs.empty() && !diff.lines.empty())
        runs.push_back({ 0, diff.lines.size() });
    std::vector<int> changeBlocks;
    auto changeStart = diff.changeStarts.begin();
    size_t next = 0; // the first line neither shown nor folded yet
    for (const TLineRun& run : runs) {
        if (run.first > next)
            builder.fold(run.first - next);
        for (size_t i = run.first; i < run.first + run.count; ++i) {
            const TDiffLine& line = diff.lines[i];
            builder.newBlock(markOf(line.kind));
            if (changeStart != diff.changeStarts.end() && *changeStart == i) {
                changeBlocks.push_back(builder.blockNumber());
                ++changeStart;
            }
            if (line.kind == TDiffLine::Changed && !line.words.empty()) {
                for (const TWordSpan& span : line.words)
                    builder.add(span.text, span.kind);
            } else {
                builder.add(line.text,
                    line.kind == TDiffLine::Added         ? TWordSpan::Added
                        : line.kind == TDiffLine::Removed ? TWordSpan::Removed
                                                          : TWordSpan::Same);
            }
        }
        next = run.first + run.count;
    }
    if (diff.lines.size() > next && next > 0)
        builder.fold(diff.lines.size() - next);
    TChangesShown shown = builder.finish();
    shown.changeBlocks = std::move(changeBlocks);
    return shown;
}

TChangesShown shownPlain(std::string_view text, const QFont& font)
{
    TShownBuilder builder({}, font);
    if (!text.empty()) {
        for (size_t start = 0;;) {
            const size_t end = text.find('\n', start);
            builder.newBlock(TLineMark::None);
            builder.add(std::string(text.substr(start, end - start)));
            if (end == std::string_view::npos)
                break;
            start = end + 1;
        }
    }
    TChangesShown shown = builder.finish();
    shown.marks.clear();
    return shown;
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

    // Shows the document made for it (and takes it), its lines marked in the margin in `colours`.
    void showDocument(
        std::unique_ptr<QTextDocument> document, std::vector<TLineMark> marks, const TChangesColours& colours);
    int marginWidth() const;
    void paintMargin(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A copy is of the newer text: without what was removed, and without the folds.
    QMimeData* createMimeDataFromSelection() const override;

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
    QTextDocument* m_document = nullptr; // the one shown, when it is ours
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

void TChangesText::showDocument(
    std::unique_ptr<QTextDocument> document, std::vector<TLineMark> marks, const TChangesColours& colours)
{
    m_colours = colours;
    m_marks = std::move(marks);
    QTextDocument* previous = m_document;
    document->moveToThread(thread());
    // The view lays out only what it shows, so a megabyte of text is taken at once.
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    m_document = document.release();
    m_document->setParent(this);
    setDocument(m_document);
    delete previous;
    m_margin->update();
}

QMimeData* TChangesText::createMimeDataFromSelection() const
{
    const QTextCursor selection = textCursor();
    const int from = selection.selectionStart();
    const int to = selection.selectionEnd();
    QStringList lines;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const auto number = static_cast<size_t>(block.blockNumber());
        if (number < m_marks.size() && (m_marks[number] == TLineMark::Removed || m_marks[number] == TLineMark::Fold))
            continue;
        QString line;
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextFragment fragment = piece.fragment();
            if (fragment.charFormat().property(RemovedProperty).toBool())
                continue;
            const int start = std::max(from, fragment.position());
            const int end = std::min(to, fragment.position() + fragment.length());
            if (start < end)
                line += fragment.text().mid(start - fragment.position(), end - start);
        }
        lines.append(line);
    }
    auto* mime = new QMimeData;
    mime->setText(lines.join(QLatin1Char('\n')));
    return mime;
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
        const auto number = static_cast<size_t>(block.blockNumber());
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

bool TChangesReader::openStore()
{
    if (m_store)
        return true;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(m_folder) / THistoryStore::FileName, error))
        return false;
    // The depth of this connection is never used to trim: it only reads.
    m_store = std::make_unique<THistoryStore>(m_folder, THistoryStore::MaxDepth);
    return true;
}

std::optional<TDiffStats> TChangesReader::lastChange(const std::string& itemId)
{
    std::lock_guard lock(m_mutex);
    if (itemId.empty() || !openStore())
        return std::nullopt;
    const int count = static_cast<int>(m_store->versions(itemId).size());
    if (count < 2)
        return std::nullopt;
    return diffStats(m_store->text(itemId, count - 1), m_store->text(itemId, count));
}

TChangesResult TChangesReader::read(const std::string& itemId, TChangesRequest request)
{
    std::lock_guard lock(m_mutex);
    TChangesResult result;
    if (itemId.empty())
        return result;
    try {
        if (!openStore())
            return result;
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
        result.diff = std::make_shared<const TTextDiff>(diffTexts(older, result.newerText));
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
    for (QComboBox* list : { m_olderList, m_newerList })
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
    connect(m_wholeText, &QAction::toggled, this, [this] { refold(); });
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
    start(
        [reader = m_reader, id = m_subject.id, request, whole = m_wholeText->isChecked(),
            colours = changesColours(palette()), font = m_text->font()] {
            TChangesResult result = reader->read(id, request);
            TChangesShown shown
                = result.diff ? shownDiff(*result.diff, whole, colours, font) : shownPlain(result.newerText, font);
            shown.result = std::move(result);
            shown.read = true;
            return shown;
        },
        0);
}

void TChangesWindow::refold()
{
    if (!m_result.diff)
        return;
    start([diff = m_result.diff, whole = m_wholeText->isChecked(), colours = changesColours(palette()),
              font = m_text->font()] { return shownDiff(*diff, whole, colours, font); },
        m_current);
}

void TChangesWindow::start(std::function<TChangesShown()> job, int startChange)
{
    const int number = ++m_latestRequest;
    ++m_pending;
    auto* watcher = new QFutureWatcher<TChangesShown>(this);
    connect(watcher, &QFutureWatcher<TChangesShown>::finished, this, [this, watcher, number, startChange] {
        --m_pending;
        // Only the last choice is shown; an earlier one that ends later is dropped.
        if (number == m_latestRequest)
            showResult(watcher->future().takeResult(), startChange);
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(std::move(job)));
}

void TChangesWindow::showResult(TChangesShown shown, int startChange)
{
    if (shown.read) {
        m_result = std::move(shown.result);
        fillVersionLists();
        QString state = m_result.failure;
        if (state.isEmpty() && m_result.versions.empty())
            state = QStringLiteral(
                "このアイテムの文字はまだ記録されていません。「ページの文字を比較」を有効にして確認して"
                "ください。");
        else if (state.isEmpty() && !m_result.diff)
            state = QStringLiteral("まだ変更は記録されていません");
        m_state->setText(state);
        m_state->setVisible(!state.isEmpty());
        m_wholeText->setEnabled(m_result.diff != nullptr);
    }
    m_changeBlocks = std::move(shown.changeBlocks);
    m_current = -1;
    m_text->showDocument(std::move(shown.document), std::move(shown.marks), changesColours(palette()));
    if (m_changeBlocks.empty())
        updateCounter();
    else
        moveToChange(std::clamp(startChange, 0, changeCount() - 1));
    if (m_recolour && !isLoading()) {
        m_recolour = false;
        refold();
    }
}

void TChangesWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A desktop that turns dark gets colours that read on its new base, also when it turns while a text is made.
    if (event->type() != QEvent::PaletteChange)
        return;
    if (isLoading())
        m_recolour = true;
    else
        refold();
}

void TChangesWindow::fillVersionLists()
{
    for (QComboBox* list : { m_olderList, m_newerList }) {
        list->clear();
        // Newest first: the recent versions are the ones looked for.
        for (size_t i = m_result.versions.size(); i-- > 0;)
            list->addItem(versionLabel(m_result.versions[i]), m_result.versions[i].number);
        list->setEnabled(m_result.versions.size() >= 2);
    }
    m_olderList->setCurrentIndex(m_olderList->findData(m_result.older));
    m_newerList->setCurrentIndex(m_newerList->findData(m_result.newer));
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

TChangesWindows::TChangesWindows(QWidget* parent)
    : QObject(parent)
    , m_parent(parent)
{
}

void TChangesWindows::setHistoryFolder(std::string folder)
{
    m_folder = std::move(folder);
    m_reader = std::make_shared<TChangesReader>(m_folder);
}

void TChangesWindows::follow(TItemList& list, TRunController& run, QAction* action)
{
    auto current = [items = QPointer<TItemList>(&list)]() -> const TCheckItem* {
        if (!items)
            return nullptr;
        const QModelIndex index = items->view()->currentIndex();
        return index.isValid() ? items->config().items.at(static_cast<size_t>(index.row())) : nullptr;
    };
    auto follow = [action, current] { action->setEnabled(current() != nullptr); };
    connect(list.view()->selectionModel(), &QItemSelectionModel::currentChanged, action, follow);
    for (auto rowsChanged : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(list.model(), rowsChanged, action, follow);
    connect(list.model(), &QAbstractItemModel::modelReset, action, follow);
    follow();

    auto show = [this, current] {
        if (const TCheckItem* item = current())
            open(*item);
    };
    connect(action, &QAction::triggered, this, show);
    connect(&list, &TItemList::changesWanted, this, show);
    connect(&run, &TRunController::itemDone, this,
        [this, model = QPointer<TCheckListModel>(list.model())](const std::string& id, size_t, const TItemDone& done) {
            if (!done.updated)
                return;
            countLastChange(id, [model](const std::string& itemId, const QString& text) {
                if (model)
                    model->setChangeText(itemId, text);
            });
        });
}

TChangesWindow* TChangesWindows::window(const std::string& itemId) const
{
    const auto found = m_windows.find(itemId);
    return found == m_windows.end() ? nullptr : found->second.data();
}

TChangesWindow* TChangesWindows::open(const TCheckItem& item)
{
    if (m_folder.empty())
        return nullptr;
    TChangesWindow* shown = window(item.id());
    if (!shown) {
        std::erase_if(m_windows, [](const auto& entry) { return entry.second.isNull(); });
        shown = new TChangesWindow(changesSubject(item), m_folder, m_parent);
        m_windows[item.id()] = shown;
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
    return shown;
}

void TChangesWindows::countLastChange(
    const std::string& itemId, const std::function<void(const std::string&, const QString&)>& done)
{
    auto* watcher = new QFutureWatcher<std::optional<TDiffStats>>(this);
    connect(watcher, &QFutureWatcher<std::optional<TDiffStats>>::finished, this, [watcher, itemId, done] {
        const std::optional<TDiffStats> stats = watcher->future().takeResult();
        if (stats && done)
            done(itemId, QString::fromStdString(changeCountText(*stats)));
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([reader = m_reader, itemId]() -> std::optional<TDiffStats> {
        try {
            return reader->lastChange(itemId);
        } catch (const TException&) {
            // The row says why the text was not kept; a count that cannot be read is simply not shown.
            return std::nullopt;
        }
    }));
}
