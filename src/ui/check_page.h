#pragma once

#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;
struct TCheckItem;

// The page that chooses how a change is detected; the item dialog and the settings dialog both show it.
struct TCheckPage
{
    QWidget* page = nullptr;
    QCheckBox* chkGet = nullptr;
    QGroupBox* grpHeader = nullptr;
    QCheckBox* chkDate = nullptr;
    QLineEdit* txtDate = nullptr;
    QCheckBox* chkLength = nullptr;
    QLineEdit* txtLength = nullptr;
    QGroupBox* grpBody = nullptr;
    QCheckBox* chkSize = nullptr;
    QLineEdit* txtSize = nullptr;
    QCheckBox* chkBody = nullptr;
    QCheckBox* chkText = nullptr; // only where the page edits one item's own extension text
    QGroupBox* grpMetaTag = nullptr;
    QCheckBox* chkMetaTag = nullptr;
    QLabel* lblMetaTag = nullptr;
    QLabel* lblMetaTagName = nullptr;
    QLineEdit* txtMetaTagName = nullptr;
    QLabel* lblMetaTagValue = nullptr;
    QLineEdit* txtMetaTagValue = nullptr;

    // Creates the page, named "tabCheck"; with `textSwitch` the body group also holds the switch that compares the
    // page's text.
    void build(bool textSwitch = false);
    void fill(const TCheckItem& item);
    // The switches and the tag name; the read-only fields are never written back.
    void store(TCheckItem& item) const;
    // `enabled` governs the whole page. In the item dialog the header values follow their switches too;
    // the settings dialog leaves them enabled.
    void updateEnabling(bool enabled, bool headerValuesFollowSwitches);
    std::vector<QCheckBox*> checkBoxes() const;
};
