#pragma once

#include "character/data_file_list.h"
#include "ui/check_page.h"
#include "ui/parameter_page.h"
#include "ui/tabbed_form.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QUrl;
class TRadioGroup;
struct TConfig;

// The modal settings dialog: character, window behaviour, end-of-run notification, exports, the values new
// items start with and the default connection parameters, and the About page. One form serves every call.
class TConfigForm : public TTabbedForm
{
    Q_OBJECT
public:
    explicit TConfigForm(QWidget* parent = nullptr);

    // Shows `config` with `character` (display name and path of the character in use) among `characters`.
    // True (OK): the options, the sound files and the default item of `config` hold the edited values, and
    // `character` holds the chosen entry (unchanged when none was chosen); the caller loads it and only then
    // stores it into the settings. False (Cancel): nothing has changed.
    bool Execute(TConfig& config, TDataFileItem& character, const TDataFileList& characters);

    // Recomputes which controls are enabled; run after every click on a switch or a radio group.
    void onCheckClick();
    // Browse for the sound file of txtSoundUpdate / txtSoundNoupdate.
    void onSoundUpdateClick();
    void onSoundNoupdateClick();
    // Open the maker's page, or a mail to the maker; nothing when the text is empty.
    void onURIDblClick();
    void onAdrsDblClick();

    // Runs the prepared open-file dialog and gives the chosen file, or an empty text when the user cancelled.
    // Tests replace it to answer without a modal dialog.
    std::function<QString(QFileDialog&)> runFileDialog;
    // Hands a page or mail address to the desktop; tests replace it to see what would be opened.
    std::function<void(const QUrl&)> openUrl;

    QWidget* tabGeneral = nullptr;
    QLabel* lblChr = nullptr;
    QComboBox* cmbChr = nullptr;
    TRadioGroup* grpDblClick = nullptr;
    QGroupBox* grpWindow = nullptr;
    QCheckBox* chkTopMost = nullptr;
    QCheckBox* chkTaskTray = nullptr;
    QLabel* lblConcurrent = nullptr;
    QSpinBox* spnConcurrent = nullptr;
    QLabel* lblInterval = nullptr;
    QSpinBox* spnInterval = nullptr;
    QCheckBox* chkCheckAtStart = nullptr;

    QWidget* tabReport = nullptr;
    TRadioGroup* grpReport = nullptr;
    QGroupBox* grpSound = nullptr;
    QCheckBox* chkSoundUpdate = nullptr;
    QLineEdit* txtSoundUpdate = nullptr;
    QPushButton* btnSoundUpdate = nullptr;
    QCheckBox* chkSoundNoupdate = nullptr;
    QLineEdit* txtSoundNoupdate = nullptr;
    QPushButton* btnSoundNoupdate = nullptr;

    QWidget* tabFile = nullptr;
    TRadioGroup* grpExportMode = nullptr;
    TRadioGroup* grpExportURI = nullptr;

    TCheckPage check; // page tabCheck
    QWidget* tabDefault = nullptr;
    TParameterPage parameters;

    QWidget* tabAbout = nullptr;
    QLabel* lblMaker = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVer = nullptr;
    QLabel* lblURI = nullptr;
    QLineEdit* txtURI = nullptr;
    QLabel* lblAdrs = nullptr;
    QLineEdit* txtAdrs = nullptr;

protected:
    void onFormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGeneralPage();
    void buildReportPage();
    void buildFilePage();
    void buildDefaultPage();
    void buildAboutPage();
    void fill(const TConfig& config, const TDataFileItem& character);
    void store(TConfig& config, TDataFileItem& character) const;
    void browseSound(QLineEdit* edit, const QString& title);

    TDataFileList m_characters; // the entries of cmbChr, with their exact bytes
};
