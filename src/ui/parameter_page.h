#pragma once

#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QVBoxLayout;
class QWidget;
struct TCheckItem;

// The connection parameters: proxy, authentication, User-Agent. The item dialog puts its own switch above them.
struct TParameterPage
{
    QGroupBox* grpProxy = nullptr;
    QCheckBox* chkProxyUse = nullptr;
    QLabel* lblProxyServer = nullptr;
    QLineEdit* txtProxyServer = nullptr;
    QLabel* lblProxyPort = nullptr;
    QLineEdit* txtProxyPort = nullptr;
    QGroupBox* grpAuthentication = nullptr;
    QCheckBox* chkAuthentication = nullptr;
    QLabel* lblUserID = nullptr;
    QLineEdit* txtUserID = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QGroupBox* grpHTTP = nullptr;
    QLabel* lblUserAgent = nullptr;
    QLineEdit* txtUserAgent = nullptr;

    // Adds the three groups to `layout` of `page`.
    void build(QWidget* page, QVBoxLayout* layout);
    void fill(const TCheckItem& item);
    // Switches and texts; the password in plain and scrambled.
    void store(TCheckItem& item) const;
    void updateEnabling(bool enabled);
    std::vector<QCheckBox*> checkBoxes() const;
};
