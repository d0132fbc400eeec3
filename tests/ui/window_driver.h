#pragma once

#include "ui/character_area.h"
#include "ui/character_player.h"
#include "ui/check_list_model.h"
#include "ui/item_list.h"
#include "ui/main_window.h"
#include "ui/run_controller.h"
#include "ui/run_notifier.h"
#include "ui/run_reporter.h"
#include "ui/run_schedule.h"
#include "ui/tray.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QImage>
#include <QItemSelectionModel>
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
        questions.push_back({ text, icon });
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
    template <typename T>
    static T next(std::deque<T>& queue, T none)
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

// The window's list as the user meets it, reached through its model and its selection.
inline int rowCount(const TImgForm& form)
{
    return form.itemList()->view()->model()->rowCount();
}
inline QModelIndex cell(const TImgForm& form, int row, int column = 0)
{
    return form.itemList()->view()->model()->index(row, column);
}
inline QString rowText(const TImgForm& form, int row, int column)
{
    return cell(form, row, column).data().toString();
}
inline bool rowTicked(const TImgForm& form, int row)
{
    return cell(form, row).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}
// As a click on the row's check box sets it.
inline void setTicked(const TImgForm& form, int row, bool ticked)
{
    form.itemList()->view()->model()->setData(
        cell(form, row), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}
inline QImage rowIcon(const TImgForm& form, int row)
{
    return cell(form, row).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
}
inline bool rowSelected(const TImgForm& form, int row)
{
    return form.itemList()->view()->selectionModel()->isSelected(cell(form, row));
}
inline void selectRows(const TImgForm& form, const std::vector<int>& rows)
{
    form.itemList()->view()->clearSelection();
    for (int row : rows)
        form.itemList()->view()->selectionModel()->select(
            cell(form, row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace test
