#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace test {

// Once the modal dialog runs, does what the user would (`interact`) and then presses `button`
// ("btnOk" or "btnCancel"). Call right before the dialog's Execute.
inline void whenShown(QDialog& form, std::function<void()> interact, const char* button = "btnOk")
{
    QTimer::singleShot(0, &form, [&form, interact = std::move(interact), button] {
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

// The form's control of that object name; a missing one fails the test instead of crashing it.
template <typename T> T* child(const QWidget& form, const char* name)
{
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control named ") + name);
    return found;
}

} // namespace test
