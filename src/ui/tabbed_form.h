#pragma once

#include <QDialog>

#include <vector>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

// What both dialogs share: a fixed client area of 442 x 373 in the design font, a page control `tabMain`,
// OK (default) and Cancel (Escape) kept out of the TAB order, key preview for Alt+Left / Alt+Right paging,
// and a visible warning for typed characters that Shift_JIS cannot hold.
class TTabbedForm : public QDialog
{
    Q_OBJECT
public:
    QTabWidget* tabMain = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    // Names the characters that cannot be stored, across all edits; empty when there are none.
    QLabel* lblUnstorable = nullptr;

    // Alt+Left shows the previous page, Alt+Right the next, wrapping around and skipping hidden tabs.
    // True when the key was used.
    bool onFormKeyDown(const QKeyEvent* event);

protected:
    explicit TTabbedForm(const QString& objectName, QWidget* parent);

    QWidget* addPage(const QString& objectName, const QString& title);
    void addPage(QWidget* page, const QString& title);
    // Call once every control exists: routes the controls' keys through the form first and starts
    // watching the editable fields.
    void finishBuild();

    virtual void onFormShow() = 0;

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateUnstorable(QLineEdit* edit);
    void centerOnScreen();

    std::vector<QLineEdit*> m_edits;
};
