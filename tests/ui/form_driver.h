#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace test {

// Fails the test when the dialog it belongs to goes away, or is armed again, before the dialog ever ran: the
// checks inside `whenShown` would then have passed without running.
class TShownWitness : public QObject
{
public:
    explicit TShownWitness(QDialog& form)
        : QObject(&form)
    {
        setObjectName(QStringLiteral("whenShownWitness"));
    }
    ~TShownWitness() override
    {
        if (!ran)
            ADD_FAILURE() << "the dialog " << parent()->objectName().toStdString()
                          << " was never shown, so what the test meant to do in it did not run";
    }
    bool ran = false;
};

// Once the modal dialog runs, does what the user would (`interact`) and then presses `button`
// ("btnOk" or "btnCancel"). Call right before the dialog's Execute.
inline void whenShown(QDialog& form, std::function<void()> interact, const char* button = "btnOk")
{
    delete form.findChild<TShownWitness*>(QStringLiteral("whenShownWitness"), Qt::FindDirectChildrenOnly);
    QPointer<TShownWitness> witness = new TShownWitness(form);
    QTimer::singleShot(0, &form, [&form, witness, interact = std::move(interact), button] {
        if (witness)
            witness->ran = true;
        if (interact)
            interact();
        if (!form.isVisible())
            return; // the interaction closed it already
        if (auto* pressed = form.findChild<QPushButton*>(QString::fromLatin1(button)))
            pressed->click();
        else
            form.reject();
    });
}

// Sixty-four characters that Shift_JIS cannot hold: enough to make the warning that names them long.
inline QString manyUnstorableCharacters()
{
    QString many;
    for (char16_t c = 0x100; c < 0x140; ++c)
        many += QChar(c);
    return many;
}

// The form's control of that object name; a missing one fails the test instead of crashing it.
template <typename T>
T* child(const QWidget& form, const char* name)
{
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control named ") + name);
    return found;
}

// Call while the dialog is shown. Names every captioned control of every page that got less room than its
// caption needs, and every page whose layout needs more room than the page has; empty when all fit.
inline std::vector<std::string> crampedControls(QDialog& form)
{
    std::vector<std::string> cramped;
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("tabMain"));
    if (!tabs)
        return { "tabMain" };
    const int shown = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents(); // let the layouts take in what changed
        QWidget* page = tabs->widget(i);
        if (page->layout()) {
            const QSize needed = page->layout()->minimumSize();
            if (needed.width() > page->width() || needed.height() > page->height())
                cramped.push_back(page->objectName().toStdString());
        }
        for (QWidget* each : page->findChildren<QWidget*>()) {
            const bool captioned = (qobject_cast<QLabel*>(each) && !qobject_cast<QLabel*>(each)->text().isEmpty())
                || qobject_cast<QAbstractButton*>(each) || qobject_cast<QGroupBox*>(each);
            if (!captioned || !each->isVisibleTo(page))
                continue;
            const QSize needed = each->sizeHint();
            if (each->width() < needed.width() || each->height() < needed.height())
                cramped.push_back(each->objectName().toStdString());
        }
    }
    tabs->setCurrentIndex(shown);
    return cramped;
}

} // namespace test
