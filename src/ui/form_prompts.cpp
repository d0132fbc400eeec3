#include "ui/form_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

namespace {

QString applicationTitle()
{
    return QApplication::applicationName();
}

// "description|pattern|description|pattern" as Qt's "description (pattern);;...".
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (parts[i].contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            result << parts[i];
        else
            result << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}

// The chosen file, or an empty text when the dialog was cancelled.
QString runFileDialog(
    QWidget* parent, const TFileDialogSpec& spec, QFileDialog::AcceptMode accept, QFileDialog::FileMode mode)
{
    QFileDialog dialog(parent, spec.title, QString(), qtFilter(spec.filter));
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setDefaultSuffix(spec.defaultExtension);
    if (!spec.fileName.isEmpty())
        dialog.selectFile(spec.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

bool TFormPrompts::ask(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    // A CR in a question is a line break on the screen.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, applicationTitle(), shown, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

void TFormPrompts::warn(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

QString TFormPrompts::openFileName(QWidget* parent, const TFileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
}

QString TFormPrompts::saveFileName(QWidget* parent, const TFileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptSave, QFileDialog::AnyFile);
}
