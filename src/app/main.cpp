#include "ui/list_exchange.h"
#include "ui/main_window.h"
#include "ui/menu_images.h"
#include "ui/qt_translation.h"
#include "ui/termination_signals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

namespace {

std::string folderBytes(const QString& folder)
{
    const QByteArray bytes = QFile::encodeName(QDir::cleanPath(folder));
    std::string result(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (result.empty() || result.back() != '/')
        result += '/';
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installQtTranslation();
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(applicationIcon());
    // The window may be hidden in the tray while a message box closes; only closing the window ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    try {
        TImgForm form;
        handleTerminationSignals(&form, [&form] { form.fatalStop(QString()); });
        bindListExchange(form);
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        const std::string settingsDir = folderBytes(QDir::currentPath());
        const std::string programDir = folderBytes(QCoreApplication::applicationDirPath());
        if (!form.startUp(settingsDir, programDir))
            return 0;
        form.showMain();
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
