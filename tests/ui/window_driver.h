#pragma once

#include "ui/main_window.h"

#include <QAction>
#include <QString>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace test {

// Answers the window's questions and file dialogs from queues, and keeps what was asked.
class ScriptedPrompts : public TFormPrompts
{
public:
    struct Asked
    {
        QString text;
        QMessageBox::Icon icon;
    };

    std::deque<bool> answers;
    std::deque<QString> fileNames;
    std::vector<Asked> questions;
    std::vector<QString> warnings;
    std::vector<TFileDialogSpec> openDialogs;
    std::vector<TFileDialogSpec> saveDialogs;

    bool ask(QWidget*, const QString& text, QMessageBox::Icon icon) override
    {
        questions.push_back({text, icon});
        return next(answers, false);
    }
    void warn(QWidget*, const QString& text) override { warnings.push_back(text); }
    QString openFileName(QWidget*, const TFileDialogSpec& spec) override
    {
        openDialogs.push_back(spec);
        return next(fileNames, QString());
    }
    QString saveFileName(QWidget*, const TFileDialogSpec& spec) override
    {
        saveDialogs.push_back(spec);
        return next(fileNames, QString());
    }

private:
    template <typename T> static T next(std::deque<T>& queue, T none)
    {
        if (queue.empty())
            return none;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

// The window's action of that object name; a missing one fails the test instead of crashing it.
inline QAction* action(const TImgForm& form, const char* name)
{
    auto* found = form.findChild<QAction*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no action named ") + name);
    return found;
}

} // namespace test
