#include "ui/tabbed_form.h"

#include "session/sjis_text.h"
#include "ui/form_widgets.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The warning beside the buttons keeps to one line, however many characters it names: a wrapped one would
// take its height from the pages and cut off their lowest controls. The whole text is in its tooltip.
class TElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        painter.drawText(
            area, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    }
};

} // namespace

TTabbedForm::TTabbedForm(const QString& objectName, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    // A dialog frame with a title and no buttons in it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(designFont());
    setFixedSize(442, 373);

    tabMain = new QTabWidget(this);
    tabMain->setObjectName(QStringLiteral("tabMain"));
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnOk->setAutoDefault(false);
    btnOk->setFocusPolicy(Qt::ClickFocus);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setFocusPolicy(Qt::ClickFocus);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // On a page with radio buttons the keys start at a chosen one, so the arrows change that choice.
    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget* page = tabMain->widget(index);
        if (!page)
            return;
        for (QRadioButton* each : page->findChildren<QRadioButton*>()) {
            if (each->isChecked() && each->isEnabled()) {
                each->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    });

    lblUnstorable = new TElidedLabel(this);
    lblUnstorable->setObjectName(QStringLiteral("lblUnstorable"));
    lblUnstorable->setTextFormat(Qt::PlainText);
    lblUnstorable->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    QPalette warning = lblUnstorable->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0, 0));
    lblUnstorable->setPalette(warning);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(tabMain, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblUnstorable, 1);
    btnOk->setFixedSize(75, 25);
    btnCancel->setFixedSize(75, 25);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
}

QWidget* TTabbedForm::addPage(const QString& objectName, const QString& title)
{
    auto* page = new QWidget;
    page->setObjectName(objectName);
    addPage(page, title);
    return page;
}

void TTabbedForm::addPage(QWidget* page, const QString& title)
{
    tabMain->addTab(page, title);
}

void TTabbedForm::finishBuild()
{
    for (QWidget* each : findChildren<QWidget*>()) {
        if (each->window() != this)
            continue;
        each->installEventFilter(this);
        auto* edit = qobject_cast<QLineEdit*>(each);
        if (!edit || edit->isReadOnly())
            continue;
        m_edits.push_back(edit);
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { updateUnstorable(edit); });
    }
}

void TTabbedForm::updateUnstorable(QLineEdit* edit)
{
    // What the field was filled with is stored byte for byte, so only typed text can be at fault.
    const QString bad = editUntouched(edit) ? QString() : unstorableCharacters(edit->text());
    if (bad.isEmpty()) {
        edit->setPalette(QPalette());
    } else {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, QColor(0xff, 0xd8, 0xd8));
        edit->setPalette(palette);
    }
    edit->setToolTip(bad.isEmpty()
            ? QString()
            : QStringLiteral("この欄には保存できない文字があります（保存すると「?」になります）: ") + bad);

    QString all;
    for (const QLineEdit* each : m_edits) {
        if (!editUntouched(each))
            all += unstorableCharacters(each->text());
    }
    all = unstorableCharacters(all);
    lblUnstorable->setText(all.isEmpty() ? QString() : QStringLiteral("保存できない文字があります: ") + all);
    lblUnstorable->setToolTip(lblUnstorable->text());
}

bool TTabbedForm::onFormKeyDown(const QKeyEvent* event)
{
    if (event->modifiers() != Qt::AltModifier || (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right))
        return false;
    const int count = tabMain->count();
    const int step = event->key() == Qt::Key_Left ? -1 : 1;
    int index = tabMain->currentIndex();
    for (int i = 0; i < count; ++i) {
        index = (index + step + count) % count;
        if (tabMain->isTabVisible(index)) {
            tabMain->setCurrentIndex(index);
            break;
        }
    }
    return true;
}

void TTabbedForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        centerOnScreen();
        onFormShow();
    }
}

void TTabbedForm::keyPressEvent(QKeyEvent* event)
{
    if (onFormKeyDown(event))
        return;
    QDialog::keyPressEvent(event);
}

bool TTabbedForm::eventFilter(QObject* watched, QEvent* event)
{
    // The form sees the keys before its controls, so that paging works wherever the focus is.
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && onFormKeyDown(static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TTabbedForm::centerOnScreen()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
