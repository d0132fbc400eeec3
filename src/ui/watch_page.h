#pragma once

#include "store/check_item.h"
#include "text/watch_rules.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

struct TPreviewRun;
struct TPreviewResult;

// The item dialog's page "監視する部分": which part of the page a text comparison watches, the lines it leaves out,
// and a preview of the text a check would keep, fetched once on a worker thread.
class TWatchPage : public QWidget
{
    Q_OBJECT
public:
    explicit TWatchPage(QWidget* parent = nullptr);
    ~TWatchPage() override;

    QLabel* lblRegion = nullptr;
    QLineEdit* txtRegion = nullptr;
    QLabel* lblIgnore = nullptr;
    QPlainTextEdit* txtIgnore = nullptr; // one pattern a line
    QCheckBox* chkIgnoreNumbers = nullptr;
    QPushButton* btnPreview = nullptr;
    QPlainTextEdit* txtPreview = nullptr;

    void fill(const TCheckItem& item);
    // Region, patterns and the digits switch; a key whose value did not change keeps its stored bytes.
    void store(TCheckItem& item) const;

    // Why the rules cannot be used, as the text units say it (naming the selector or pattern and where it fails),
    // and the field that holds it; no field when they can be used.
    struct TRefusal
    {
        QString message;
        QWidget* field = nullptr;
    };
    TRefusal refusal(const TWatchRules& rules) const;

    // Fetches `url` once with the connection parameters that `connection` gives a default item, on a worker
    // thread, and shows the text the rules keep with the ignored lines greyed, or why there is none.
    void startPreview(const std::string& url, const TCheckItem& connection, const TWatchRules& rules);
    // Stops the preview in flight; its result is never shown.
    void cancelPreview();

private:
    void showResult(const TPreviewResult& result);

    std::shared_ptr<TPreviewRun> m_run; // the preview whose result is awaited; only this thread touches it
    std::thread m_worker;
    // What fill() showed in txtIgnore and the values behind it, so an untouched list is stored as it came.
    QString m_shownIgnore;
    std::vector<std::string> m_storedIgnore;
};

// The rules an item's text comparison would use with its current extension text, whether or not it compares text.
TWatchRules previewRules(const TCheckItem& item);
