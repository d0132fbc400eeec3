#include "ui/watch_page.h"

#include "base/exception.h"
#include "check/http_checker.h"
#include "check/http_response.h"
#include "check/page_text_check.h"
#include "session/sjis_text.h"
#include "store/item_extension.h"
#include "text/region_selector.h"
#include "ui/form_widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <atomic>
#include <exception>
#include <optional>
#include <utility>

struct TPreviewRun
{
    std::atomic<bool> cancelled { false };
};

struct TPreviewResult
{
    QString failure; // why there is no text; empty when there is one
    QString text;
    std::vector<bool> ignored; // per line of text
};

namespace {

QString utf8Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Runs on the worker thread: nothing here may touch a widget.
TPreviewResult fetchPreview(const std::string& url, const TCheckItem& connection, const TCompiledRules& rules,
    const std::atomic<bool>& cancelled)
{
    TPreviewResult result;
    try {
        THTTPChecker checker;
        TNMHTTP& client = checker.client();
        bool cancelling = false;
        // Every wait of the client comes back here, so a closed dialog ends the request within a poll.
        client.Pump = [&] {
            if (cancelled && !cancelling) {
                cancelling = true;
                client.Cancel();
            }
        };
        const TFetchedPage page = fetchPage(checker, url, connection);
        if (!page.ok) {
            result.failure = fromSjis(page.failure);
            return result;
        }
        const std::optional<std::string> text
            = regionText(page.body, THTTPResponse(page.header).value("Content-Type:"), rules);
        if (!text) {
            result.failure = utf8Text(RegionMissingMessage);
            return result;
        }
        result.ignored = ignoredLines(*text, rules);
        result.text = utf8Text(*text);
    } catch (const std::exception& e) {
        // An exception leaving the thread would end the program; the preview shows it instead.
        result.failure = QString::fromUtf8(e.what());
    }
    return result;
}

QString joinedLines(const std::vector<std::string>& values)
{
    QStringList lines;
    for (const std::string& each : values)
        lines << fromSjis(each);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TWatchPage::TWatchPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tabWatch"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);

    // Selectors and patterns are typed in ASCII as a rule, yet a Japanese word is a fair thing to look for.
    txtRegion = new QLineEdit(this);
    txtRegion->setObjectName(QStringLiteral("txtRegion"));
    lblRegion = buddyLabel(
        QStringLiteral("lblRegion"), QStringLiteral("監視する部分 (CSSセレクターまたはxpath:…)"), txtRegion, this);
    txtIgnore = new QPlainTextEdit(this);
    txtIgnore->setObjectName(QStringLiteral("txtIgnore"));
    txtIgnore->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtIgnore->setTabChangesFocus(true);
    txtIgnore->setFixedHeight(txtIgnore->fontMetrics().lineSpacing() * 3 + 10);
    lblIgnore
        = buddyLabel(QStringLiteral("lblIgnore"), QStringLiteral("無視する行 (正規表現、1行に1つ)"), txtIgnore, this);
    chkIgnoreNumbers = checkBox(QStringLiteral("chkIgnoreNumbers"), QStringLiteral("数字の違いを無視する"), this);
    btnPreview = new QPushButton(QStringLiteral("プレビュー"), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPreview->setAutoDefault(false); // Enter in a field still means OK
    txtPreview = new QPlainTextEdit(this);
    txtPreview->setObjectName(QStringLiteral("txtPreview"));
    txtPreview->setReadOnly(true);
    txtPreview->setTabChangesFocus(true);

    layout->addWidget(lblRegion);
    layout->addWidget(txtRegion);
    layout->addWidget(lblIgnore);
    layout->addWidget(txtIgnore);
    auto* row = new QHBoxLayout;
    row->addWidget(chkIgnoreNumbers);
    row->addStretch();
    row->addWidget(btnPreview);
    layout->addLayout(row);
    layout->addWidget(txtPreview, 1);
}

TWatchPage::~TWatchPage()
{
    // The worker posts its result to this page, so it must be done before the page goes; the cancel makes
    // that a matter of one poll. A result posted meanwhile goes with the page, unseen.
    if (m_run)
        m_run->cancelled = true;
    if (m_worker.joinable())
        m_worker.join();
}

void TWatchPage::fill(const TCheckItem& item)
{
    cancelPreview();
    txtPreview->clear();
    const TItemExtension extension(item.extensionText());
    setEditText(txtRegion, extension.value(ExtKey::Region));
    m_storedIgnore = extension.values(ExtKey::Ignore);
    m_shownIgnore = joinedLines(m_storedIgnore);
    txtIgnore->setPlainText(m_shownIgnore);
    chkIgnoreNumbers->setChecked(extension.value(ExtKey::IgnoreNumbers) == "1");
}

void TWatchPage::store(TCheckItem& item) const
{
    TItemExtension extension(item.extensionText());
    bool changed = false;

    const std::string region = editText(txtRegion);
    if (region != extension.value(ExtKey::Region)) {
        if (region.empty())
            extension.remove(ExtKey::Region);
        else
            extension.set(ExtKey::Region, region);
        changed = true;
    }

    std::vector<std::string> ignore = m_storedIgnore;
    if (txtIgnore->toPlainText() != m_shownIgnore) {
        ignore.clear();
        for (const QString& line : txtIgnore->toPlainText().split(QLatin1Char('\n'))) {
            // A space at either end of a pattern is too easily typed and never seen to be meant.
            const QString pattern = trimmedText(line);
            if (!pattern.isEmpty())
                ignore.push_back(storedText(pattern));
        }
    }
    if (ignore != extension.values(ExtKey::Ignore)) {
        extension.setValues(ExtKey::Ignore, ignore);
        changed = true;
    }

    const bool numbers = chkIgnoreNumbers->isChecked();
    if (numbers != (extension.value(ExtKey::IgnoreNumbers) == "1")) {
        if (numbers)
            extension.set(ExtKey::IgnoreNumbers, "1");
        else
            extension.remove(ExtKey::IgnoreNumbers);
        changed = true;
    }

    // An untouched page leaves the extension text exactly as it came.
    if (changed)
        item.extensionText() = extension.text();
}

TWatchPage::TRefusal TWatchPage::refusal(const TWatchRules& rules) const
{
    // The settings file would hold "?" for such a character, which in a rule means something else entirely.
    if (const QString bad = unstorableCharacters(txtRegion->text()); !bad.isEmpty())
        return { QStringLiteral("監視する部分に保存できない文字があります: ") + bad, txtRegion };
    if (const QString bad = unstorableCharacters(txtIgnore->toPlainText()); !bad.isEmpty()) {
        const char32_t first = bad.toUcs4().value(0);
        return { QStringLiteral("無視する行に保存できない文字があります: %1（正規表現では \\x{%2} と書けます）")
                     .arg(bad, QString::number(first, 16).toUpper()),
            txtIgnore };
    }
    try {
        if (!rules.region.empty())
            checkRegion(rules.region);
    } catch (const TException& e) {
        return { QString::fromStdString(e.message()), txtRegion };
    }
    try {
        TWatchRules patterns;
        patterns.ignore = rules.ignore;
        const TCompiledRules compiled(patterns);
    } catch (const TException& e) {
        return { QString::fromStdString(e.message()), txtIgnore };
    }
    return {};
}

void TWatchPage::startPreview(const std::string& url, const TCheckItem& connection, const TWatchRules& rules)
{
    cancelPreview();
    // The previous worker was told to stop; it ends within a poll.
    if (m_worker.joinable())
        m_worker.join();
    txtPreview->clear();
    std::optional<TCompiledRules> compiled;
    try {
        compiled.emplace(rules);
    } catch (const TException& e) {
        // A rule that cannot be used is told at once, without asking the server.
        txtPreview->setPlainText(QString::fromStdString(e.message()));
        return;
    }

    auto run = std::make_shared<TPreviewRun>();
    m_run = run;
    btnPreview->setEnabled(false);
    m_worker = std::thread([this, run, url, connection, compiled = std::move(*compiled)] {
        auto result = std::make_shared<const TPreviewResult>(fetchPreview(url, connection, compiled, run->cancelled));
        if (run->cancelled)
            return;
        // The page outlives this thread (its destructor joins it), so posting to it is safe; the result is shown
        // only if no other preview or item took the place of this one meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, run, result] {
                if (m_run != run)
                    return;
                m_run.reset();
                showResult(*result);
            },
            Qt::QueuedConnection);
    });
}

void TWatchPage::cancelPreview()
{
    if (m_run) {
        m_run->cancelled = true;
        m_run.reset();
    }
    btnPreview->setEnabled(true);
}

void TWatchPage::showResult(const TPreviewResult& result)
{
    btnPreview->setEnabled(true);
    if (!result.failure.isEmpty()) {
        txtPreview->setPlainText(result.failure);
        return;
    }
    QString text = result.text;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1); // the last line's end starts no line of its own
    txtPreview->setPlainText(text);

    QTextCharFormat greyed;
    greyed.setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    QTextCursor cursor(txtPreview->document());
    cursor.beginEditBlock();
    QTextBlock block = txtPreview->document()->begin();
    for (size_t line = 0; line < result.ignored.size() && block.isValid(); ++line, block = block.next()) {
        if (!result.ignored[line])
            continue;
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        cursor.setBlockCharFormat(greyed);
        cursor.setCharFormat(greyed);
    }
    cursor.endEditBlock();
}

TWatchRules previewRules(const TCheckItem& item)
{
    // The rules apply to text comparison only; the preview shows them whether or not it is switched on yet.
    TCheckItem comparing = item;
    comparing.setExtension(ExtKey::CompareText, "1");
    return watchRulesOf(comparing);
}
