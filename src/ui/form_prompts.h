#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// What a file dialog is opened with; the filter is given as "description|pattern|...".
struct TFileDialogSpec
{
    QString title;
    QString filter;
    QString defaultExtension;
    QString fileName;
};

// The questions, messages and file dialogs of the window, in one place so that tests can answer them.
class TFormPrompts
{
public:
    virtual ~TFormPrompts() = default;
    // An OK/Cancel question titled with the application title; true for OK.
    virtual bool ask(QWidget* parent, const QString& text, QMessageBox::Icon icon);
    virtual void warn(QWidget* parent, const QString& text);
    // The chosen file, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget* parent, const TFileDialogSpec& spec);
    virtual QString saveFileName(QWidget* parent, const TFileDialogSpec& spec);
};
