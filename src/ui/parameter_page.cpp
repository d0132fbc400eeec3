#include "ui/parameter_page.h"

#include "store/check_item.h"
#include "ui/form_widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <initializer_list>

void TParameterPage::build(QWidget* page, QVBoxLayout* layout)
{
    grpProxy = groupBox(QStringLiteral("grpProxy"), QString(), page);
    chkProxyUse = checkBox(QStringLiteral("chkProxyUse"), QStringLiteral("proxyを使用する(&P)"), grpProxy);
    txtProxyServer = plainEdit(QStringLiteral("txtProxyServer"), grpProxy);
    lblProxyServer
        = buddyLabel(QStringLiteral("lblProxyServer"), QStringLiteral("サーバ(&S)"), txtProxyServer, grpProxy);
    txtProxyPort = plainEdit(QStringLiteral("txtProxyPort"), grpProxy);
    lblProxyPort = buddyLabel(QStringLiteral("lblProxyPort"), QStringLiteral("ポート(&N)"), txtProxyPort, grpProxy);
    layOutGroupBox(grpProxy, layout, { { 8, 4, 8, 6 }, 3, { { 1, 3 }, { 3, 1 } } },
        { { chkProxyUse, 0, 0, 1, 4 }, { lblProxyServer, 1, 0 }, { txtProxyServer, 1, 1 }, { lblProxyPort, 1, 2 },
            { txtProxyPort, 1, 3 } });

    grpAuthentication = groupBox(QStringLiteral("grpAuthentication"), QString(), page);
    chkAuthentication
        = checkBox(QStringLiteral("chkAuthentication"), QStringLiteral("認証を行う(&A)"), grpAuthentication);
    txtUserID = plainEdit(QStringLiteral("txtUserID"), grpAuthentication);
    lblUserID = buddyLabel(QStringLiteral("lblUserID"), QStringLiteral("UserID(&I)"), txtUserID, grpAuthentication);
    txtPassword = plainEdit(QStringLiteral("txtPassword"), grpAuthentication);
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style would use.
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    lblPassword
        = buddyLabel(QStringLiteral("lblPassword"), QStringLiteral("Password(&W)"), txtPassword, grpAuthentication);
    layOutGroupBox(grpAuthentication, layout, { { 8, 4, 8, 6 }, 3, { { 1, 1 } } },
        { { chkAuthentication, 0, 0, 1, 2 }, { lblUserID, 1, 0 }, { txtUserID, 1, 1 }, { lblPassword, 2, 0 },
            { txtPassword, 2, 1 } });

    grpHTTP = groupBox(QStringLiteral("grpHTTP"), QString(), page);
    txtUserAgent = plainEdit(QStringLiteral("txtUserAgent"), grpHTTP);
    lblUserAgent = buddyLabel(QStringLiteral("lblUserAgent"), QStringLiteral("User-Agent(&B)"), txtUserAgent, grpHTTP);
    layOutGroupBox(
        grpHTTP, layout, { { 8, 6, 8, 6 }, -1, { { 1, 1 } } }, { { lblUserAgent, 0, 0 }, { txtUserAgent, 0, 1 } });
}

void TParameterPage::fill(const TCheckItem& item)
{
    chkProxyUse->setChecked(item.useProxy != 0);
    setEditText(txtProxyServer, item.proxyServer());
    setEditText(txtProxyPort, item.proxyPort());
    chkAuthentication->setChecked(item.useAuthentication != 0);
    setEditText(txtUserID, item.userId());
    setEditText(txtPassword, item.password);
    setEditText(txtUserAgent, item.userAgent());
}

void TParameterPage::store(TCheckItem& item) const
{
    item.useProxy = chkProxyUse->isChecked() ? 1 : 0;
    item.proxyServer() = editText(txtProxyServer);
    item.proxyPort() = editText(txtProxyPort);
    item.useAuthentication = chkAuthentication->isChecked() ? 1 : 0;
    item.userId() = editText(txtUserID);
    item.setPassword(editText(txtPassword));
    item.userAgent() = editText(txtUserAgent);
}

void TParameterPage::updateEnabling(bool enabled)
{
    for (QWidget* each : std::initializer_list<QWidget*> {
             grpProxy, chkProxyUse, grpAuthentication, chkAuthentication, grpHTTP, lblUserAgent, txtUserAgent })
        each->setEnabled(enabled);
    const bool proxy = enabled && chkProxyUse->isChecked();
    for (QWidget* each : std::initializer_list<QWidget*> { lblProxyServer, txtProxyServer, lblProxyPort, txtProxyPort })
        each->setEnabled(proxy);
    const bool auth = enabled && chkAuthentication->isChecked();
    for (QWidget* each : std::initializer_list<QWidget*> { lblUserID, txtUserID, lblPassword, txtPassword })
        each->setEnabled(auth);
}

std::vector<QCheckBox*> TParameterPage::checkBoxes() const
{
    return { chkProxyUse, chkAuthentication };
}
