#include "ui/config_form.h"

#include "check/check_run.h"
#include "session/sjis_text.h"
#include "store/config.h"
#include "ui/form_widgets.h"
#include "ui/radio_group.h"
#include "ui/run_schedule.h"
#include "vantrel_version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

QVBoxLayout* pageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    return layout;
}

// The About page's links: borderless, read-only, blue italic underlined on the page's own colour.
QLineEdit* linkEdit(const QString& objectName, QWidget* parent)
{
    QLineEdit* edit = readOnlyEdit(objectName, parent);
    edit->setFrame(false);
    QFont font = edit->font();
    font.setItalic(true);
    font.setUnderline(true);
    edit->setFont(font);
    edit->setStyleSheet(QStringLiteral("QLineEdit { color: #0000ff; background: transparent; border: none; }"));
    edit->setCursor(Qt::PointingHandCursor);
    return edit;
}

// Minutes between timed runs: the arrows step between none and the shortest interval, never into the gap.
class TIntervalSpinBox : public QSpinBox
{
public:
    explicit TIntervalSpinBox(QWidget* parent)
        : QSpinBox(parent)
    {
        setRange(0, TRunSchedule::MaxInterval);
        setSpecialValueText(QStringLiteral("しない"));
        setSuffix(QStringLiteral(" 分"));
    }

    void stepBy(int steps) override
    {
        const int stepped = value() + steps * singleStep();
        if (stepped > 0 && stepped < TRunSchedule::MinInterval)
            setValue(steps > 0 ? TRunSchedule::MinInterval : 0);
        else
            QSpinBox::stepBy(steps);
    }
};

QString defaultFileDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace

TConfigForm::TConfigForm(QWidget* parent)
    : TTabbedForm(QStringLiteral("TConfigForm"), parent)
    , runFileDialog(defaultFileDialog)
    , openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setWindowTitle(QStringLiteral("設定"));
    buildGeneralPage();
    buildReportPage();
    buildFilePage();
    check.build();
    addPage(check.page, QStringLiteral("初期値"));
    buildDefaultPage();
    buildAboutPage();
    finishBuild();

    for (TRadioGroup* each : { grpDblClick, grpReport, grpExportMode, grpExportURI })
        connect(each, &TRadioGroup::clicked, this, &TConfigForm::onCheckClick);
    std::vector<QCheckBox*> boxes = { chkTopMost, chkTaskTray, chkSoundUpdate, chkSoundNoupdate };
    for (QCheckBox* each : check.checkBoxes())
        boxes.push_back(each);
    for (QCheckBox* each : parameters.checkBoxes())
        boxes.push_back(each);
    for (QCheckBox* each : boxes)
        connect(each, &QCheckBox::clicked, this, &TConfigForm::onCheckClick);
    connect(btnSoundUpdate, &QPushButton::clicked, this, &TConfigForm::onSoundUpdateClick);
    connect(btnSoundNoupdate, &QPushButton::clicked, this, &TConfigForm::onSoundNoupdateClick);
}

void TConfigForm::buildGeneralPage()
{
    tabGeneral = addPage(QStringLiteral("tabGeneral"), QStringLiteral("全般"));
    QVBoxLayout* layout = pageLayout(tabGeneral);

    cmbChr = new QComboBox(tabGeneral);
    cmbChr->setObjectName(QStringLiteral("cmbChr"));
    cmbChr->setEditable(false);
    lblChr = buddyLabel(QStringLiteral("lblChr"), QStringLiteral("キャラクター選択(&C)"), cmbChr, tabGeneral);
    auto* chr = new QHBoxLayout;
    chr->addWidget(lblChr);
    chr->addWidget(cmbChr, 1);
    layout->addLayout(chr);

    grpDblClick = new TRadioGroup(QStringLiteral("grpDblClick"), QStringLiteral("ダブルクリックの動作(&D)"),
        { QStringLiteral("変更ダイアログを表示"), QStringLiteral("ブラウザで開く") }, tabGeneral);
    layout->addWidget(grpDblClick);

    grpWindow = groupBox(QStringLiteral("grpWindow"), QString(), tabGeneral);
    auto* window = new QVBoxLayout(grpWindow);
    window->setContentsMargins(8, 6, 8, 6);
    window->setSpacing(4);
    chkTopMost = checkBox(QStringLiteral("chkTopMost"), QStringLiteral("常に前面に表示(&T)"), grpWindow);
    chkTaskTray
        = checkBox(QStringLiteral("chkTaskTray"), QStringLiteral("最小化時にタスクトレイに入れる(&I)"), grpWindow);
    window->addWidget(chkTopMost);
    window->addWidget(chkTaskTray);
    layout->addWidget(grpWindow);

    spnConcurrent = new QSpinBox(tabGeneral);
    spnConcurrent->setObjectName(QStringLiteral("spnConcurrent"));
    spnConcurrent->setRange(1, static_cast<int>(TCheckRun::MaxConcurrent));
    lblConcurrent = buddyLabel(
        QStringLiteral("lblConcurrent"), QStringLiteral("同時に確認するページ数"), spnConcurrent, tabGeneral);
    auto* concurrent = new QHBoxLayout;
    concurrent->addWidget(lblConcurrent);
    concurrent->addWidget(spnConcurrent);
    concurrent->addStretch();
    layout->addLayout(concurrent);

    spnInterval = new TIntervalSpinBox(tabGeneral);
    spnInterval->setObjectName(QStringLiteral("spnInterval"));
    lblInterval
        = buddyLabel(QStringLiteral("lblInterval"), QStringLiteral("自動的に確認する間隔"), spnInterval, tabGeneral);
    chkCheckAtStart = checkBox(QStringLiteral("chkCheckAtStart"), QStringLiteral("起動時に確認する"), tabGeneral);
    // One row: the page has no height to spare.
    auto* interval = new QHBoxLayout;
    interval->addWidget(lblInterval);
    interval->addWidget(spnInterval);
    interval->addSpacing(12);
    interval->addWidget(chkCheckAtStart);
    interval->addStretch();
    layout->addLayout(interval);
    layout->addStretch();
}

void TConfigForm::buildReportPage()
{
    tabReport = addPage(QStringLiteral("tabReport"), QStringLiteral("通知"));
    QVBoxLayout* layout = pageLayout(tabReport);

    grpReport = new TRadioGroup(QStringLiteral("grpReport"), QStringLiteral("確認終了の通知(&R)"),
        { QStringLiteral("通知しない"), QStringLiteral("更新があった場合のみ"), QStringLiteral("常に通知") },
        tabReport);
    layout->addWidget(grpReport);

    grpSound = groupBox(QStringLiteral("grpSound"), QStringLiteral("waveファイルを再生する"), tabReport);
    chkSoundUpdate = checkBox(QStringLiteral("chkSoundUpdate"), QStringLiteral("更新有(&U)"), grpSound);
    txtSoundUpdate = new QLineEdit(grpSound);
    txtSoundUpdate->setObjectName(QStringLiteral("txtSoundUpdate"));
    btnSoundUpdate = new QPushButton(QStringLiteral("参照"), grpSound);
    btnSoundUpdate->setObjectName(QStringLiteral("btnSoundUpdate"));
    btnSoundUpdate->setAutoDefault(false);
    chkSoundNoupdate = checkBox(QStringLiteral("chkSoundNoupdate"), QStringLiteral("更新無(&N)"), grpSound);
    txtSoundNoupdate = new QLineEdit(grpSound);
    txtSoundNoupdate->setObjectName(QStringLiteral("txtSoundNoupdate"));
    btnSoundNoupdate = new QPushButton(QStringLiteral("参照"), grpSound);
    btnSoundNoupdate->setObjectName(QStringLiteral("btnSoundNoupdate"));
    btnSoundNoupdate->setAutoDefault(false);
    layOutGroupBox(grpSound, layout, { { 8, 6, 8, 6 }, 4, { { 1, 1 } } },
        { { chkSoundUpdate, 0, 0 }, { txtSoundUpdate, 0, 1 }, { btnSoundUpdate, 0, 2 }, { chkSoundNoupdate, 1, 0 },
            { txtSoundNoupdate, 1, 1 }, { btnSoundNoupdate, 1, 2 } });
    layout->addStretch();
}

void TConfigForm::buildFilePage()
{
    tabFile = addPage(QStringLiteral("tabFile"), QStringLiteral("ファイル"));
    QVBoxLayout* layout = pageLayout(tabFile);
    grpExportMode = new TRadioGroup(QStringLiteral("grpExportMode"), QStringLiteral("エクスポートの対象(&E)"),
        { QStringLiteral("全てのアイテム"), QStringLiteral("選択アイテムのみ") }, tabFile);
    grpExportURI = new TRadioGroup(QStringLiteral("grpExportURI"), QStringLiteral("URLリストのエクスポート対象(&U)"),
        { QStringLiteral("チェックURL"), QStringLiteral("表示URL") }, tabFile);
    layout->addWidget(grpExportMode);
    layout->addWidget(grpExportURI);
    layout->addStretch();
}

void TConfigForm::buildDefaultPage()
{
    tabDefault = addPage(QStringLiteral("tabDefault"), QStringLiteral("標準の設定"));
    auto* layout = new QVBoxLayout(tabDefault);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    parameters.build(tabDefault, layout);
    layout->addStretch();
}

void TConfigForm::buildAboutPage()
{
    tabAbout = addPage(QStringLiteral("tabAbout"), QStringLiteral("About"));
    QVBoxLayout* layout = pageLayout(tabAbout);

    lblMaker = new QLabel(QStringLiteral("Korvane"), tabAbout);
    lblMaker->setObjectName(QStringLiteral("lblMaker"));
    lblMaker->setFont(designFont(21, true));
    lblTitle = new QLabel(QStringLiteral("Vantrel"), tabAbout);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setFont(designFont(32, true));
    lblTitle->setAlignment(Qt::AlignCenter);
    lblVer = new QLabel(QString::fromLatin1(VantrelVersion), tabAbout);
    lblVer->setObjectName(QStringLiteral("lblVer"));
    lblVer->setAlignment(Qt::AlignCenter);

    txtURI = linkEdit(QStringLiteral("txtURI"), tabAbout);
    lblURI = buddyLabel(QStringLiteral("lblURI"), QStringLiteral("URL:"), txtURI, tabAbout);
    txtAdrs = linkEdit(QStringLiteral("txtAdrs"), tabAbout);
    lblAdrs = buddyLabel(QStringLiteral("lblAdrs"), QStringLiteral("mailto:"), txtAdrs, tabAbout);
    auto* links = new QGridLayout;
    links->addWidget(lblURI, 0, 0, Qt::AlignRight);
    links->addWidget(txtURI, 0, 1);
    links->addWidget(lblAdrs, 1, 0, Qt::AlignRight);
    links->addWidget(txtAdrs, 1, 1);
    links->setColumnStretch(1, 1);
    links->setContentsMargins(16, 0, 16, 0);

    layout->addSpacing(12);
    layout->addWidget(lblMaker);
    layout->addSpacing(8);
    layout->addWidget(lblTitle);
    layout->addWidget(lblVer);
    layout->addStretch();
    layout->addLayout(links);
    layout->addSpacing(12);
}

bool TConfigForm::Execute(TConfig& config, TDataFileItem& character, const TDataFileList& characters)
{
    m_characters = characters;
    fill(config, character);
    onCheckClick();
    if (exec() != QDialog::Accepted)
        return false;
    store(config, character);
    return true;
}

void TConfigForm::fill(const TConfig& config, const TDataFileItem& character)
{
    cmbChr->clear();
    int chosen = -1;
    for (size_t i = 0; i < m_characters.size(); ++i) {
        const TDataFileItem& each = m_characters[i];
        cmbChr->addItem(fromSjis(each.name));
        if (chosen < 0 && each.name == character.name && each.path == character.path)
            chosen = static_cast<int>(i);
    }
    cmbChr->setCurrentIndex(chosen);

    grpDblClick->setItemIndex(config.doubleClickAction == 1 ? 1 : 0);
    chkTopMost->setChecked(config.topMost != 0);
    chkTaskTray->setChecked(config.taskTray != 0);
    spnConcurrent->setValue(config.concurrentChecks);
    spnInterval->setValue(TRunSchedule::boundedInterval(config.checkInterval));
    chkCheckAtStart->setChecked(config.checkAtStart != 0);
    grpReport->setItemIndex(config.reportMode <= 1 ? config.reportMode : 2);
    chkSoundUpdate->setChecked(config.soundOnUpdate != 0);
    setEditText(txtSoundUpdate, config.soundUpdateFile());
    chkSoundNoupdate->setChecked(config.soundOnNoUpdate != 0);
    setEditText(txtSoundNoupdate, config.soundNoUpdateFile());
    grpExportMode->setItemIndex(config.exportAll != 0 ? 0 : 1);
    grpExportURI->setItemIndex(config.exportCheckUri != 0 ? 0 : 1);

    check.fill(config.defaultItem);
    parameters.fill(config.defaultItem);

    setEditText(txtURI, config.homePageUri());
    lblURI->setVisible(!config.homePageUri().empty());
    txtURI->setVisible(!config.homePageUri().empty());
    setEditText(txtAdrs, config.contactAddress());
    lblAdrs->setVisible(!config.contactAddress().empty());
    txtAdrs->setVisible(!config.contactAddress().empty());
}

void TConfigForm::store(TConfig& config, TDataFileItem& character) const
{
    const int chosen = cmbChr->currentIndex();
    if (chosen >= 0 && static_cast<size_t>(chosen) < m_characters.size())
        character = m_characters[static_cast<size_t>(chosen)];

    config.doubleClickAction = grpDblClick->itemIndex() == 1 ? 1 : 0;
    config.topMost = chkTopMost->isChecked() ? 1 : 0;
    config.taskTray = chkTaskTray->isChecked() ? 1 : 0;
    config.concurrentChecks = spnConcurrent->value();
    config.checkInterval = TRunSchedule::boundedInterval(spnInterval->value());
    config.checkAtStart = chkCheckAtStart->isChecked() ? 1 : 0;
    const int report = grpReport->itemIndex();
    config.reportMode = report == 0 || report == 1 ? static_cast<uint8_t>(report) : 2;
    config.soundOnUpdate = chkSoundUpdate->isChecked() ? 1 : 0;
    config.soundOnNoUpdate = chkSoundNoupdate->isChecked() ? 1 : 0;
    config.soundUpdateFile() = editText(txtSoundUpdate);
    config.soundNoUpdateFile() = editText(txtSoundNoupdate);
    config.exportAll = grpExportMode->itemIndex() == 0 ? 1 : 0;
    config.exportCheckUri = grpExportURI->itemIndex() == 0 ? 1 : 0;

    check.store(config.defaultItem);
    parameters.store(config.defaultItem);
    confirmSettings(config);
}

void TConfigForm::onCheckClick()
{
    const int report = grpReport->itemIndex();
    const bool update = report == 1 || report == 2;
    const bool noUpdate = report == 2;
    chkSoundUpdate->setEnabled(update);
    txtSoundUpdate->setEnabled(update && chkSoundUpdate->isChecked());
    btnSoundUpdate->setEnabled(update && chkSoundUpdate->isChecked());
    chkSoundNoupdate->setEnabled(noUpdate);
    txtSoundNoupdate->setEnabled(noUpdate && chkSoundNoupdate->isChecked());
    btnSoundNoupdate->setEnabled(noUpdate && chkSoundNoupdate->isChecked());
    check.updateEnabling(true, false);
    parameters.updateEnabling(true);
}

void TConfigForm::onSoundUpdateClick()
{
    browseSound(txtSoundUpdate, QStringLiteral("確認終了通知 Waveファイル(更新あり)"));
}

void TConfigForm::onSoundNoupdateClick()
{
    browseSound(txtSoundNoupdate, QStringLiteral("確認終了通知 Waveファイル(更新なし)"));
}

void TConfigForm::browseSound(QLineEdit* edit, const QString& title)
{
    QFileDialog dlgOpen(this, title);
    dlgOpen.setObjectName(QStringLiteral("dlgOpen"));
    dlgOpen.setAcceptMode(QFileDialog::AcceptOpen);
    dlgOpen.setFileMode(QFileDialog::ExistingFile);
    dlgOpen.setSizeGripEnabled(true);
    const QString allFiles = QStringLiteral("全てのファイル (*.*)");
    dlgOpen.setNameFilters({ QStringLiteral("Waveファイル (*.wav)"), allFiles });
    // "*.*" means every file to the user, but the dialog would hide names without a dot; once the dialog
    // has applied the chosen filter, widen it to all names.
    connect(&dlgOpen, &QFileDialog::filterSelected, &dlgOpen, [&dlgOpen, allFiles](const QString& filter) {
        if (filter != allFiles)
            return;
        if (auto* files = dlgOpen.findChild<QFileSystemModel*>())
            files->setNameFilters({ QStringLiteral("*") });
    });
    dlgOpen.setDefaultSuffix(QStringLiteral("wav"));
    if (!edit->text().isEmpty())
        dlgOpen.selectFile(edit->text());
    const QString chosen = runFileDialog ? runFileDialog(dlgOpen) : QString();
    if (chosen.isEmpty())
        return;
    edit->setText(QFileInfo(chosen).absoluteFilePath());
}

void TConfigForm::onURIDblClick()
{
    const QString text = txtURI->text();
    if (text.isEmpty() || !openUrl)
        return;
    openUrl(QUrl::fromUserInput(text));
}

void TConfigForm::onAdrsDblClick()
{
    const QString text = txtAdrs->text();
    if (text.isEmpty() || !openUrl)
        return;
    openUrl(QUrl(QStringLiteral("mailto:") + text, QUrl::TolerantMode));
}

void TConfigForm::onFormShow()
{
    tabMain->setCurrentWidget(tabGeneral);
    cmbChr->setFocus(Qt::OtherFocusReason);
}

bool TConfigForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == txtURI) {
            onURIDblClick();
            return true;
        }
        if (watched == txtAdrs) {
            onAdrsDblClick();
            return true;
        }
    }
    return TTabbedForm::eventFilter(watched, event);
}
