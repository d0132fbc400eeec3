#include "app/command_line.h"
#include "app/headless_check.h"
#include "app/program_folders.h"
#include "base/exception.h"
#include "platform/safe_file.h"
#include "session/failure_text.h"
#include "session/settings_session.h"
#include "session/sjis_text.h"
#include "ui/list_exchange.h"
#include "ui/main_window.h"
#include "ui/menu_images.h"
#include "ui/qt_translation.h"
#include "ui/termination_signals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

int refuse(const TCommandLine& commandLine)
{
    std::fprintf(stderr, "vantrel: %s\n%s", commandLine.error.c_str(), usageText("vantrel").c_str());
    return 2;
}

int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv.
    const TCommandLine commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!commandLine.error.empty())
        return refuse(commandLine);
    installQtTranslation();
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(applicationIcon());
    // The window may be hidden in the tray while a message box closes; only closing the window ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    std::string settingsDir;
    try {
        settingsDir = settingsFolder(commandLine);
    } catch (const TException& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(e.message()));
        return 1;
    }
    // The window keeps the session, and with it the folder's lock, until it has written the settings as it goes.
    // A folder where the lock cannot be made (read-only) starts as before.
    auto session = std::make_unique<TSettingsSession>(settingsDir);
    if (session->inUse()) {
        const QString text = QStringLiteral("このフォルダーの設定は既に使用中です。");
        // Also on the terminal, for a window started from a shell or a script that waits for it.
        std::fprintf(stderr, "vantrel: %s %s\n", text.toUtf8().constData(), settingsDir.c_str());
        std::fflush(stderr);
        QMessageBox::warning(
            nullptr, QApplication::applicationName(), text + QLatin1Char('\n') + fileNameText(settingsDir));
        return 0;
    }
    try {
        TImgForm form;
        handleTerminationSignals(&form, [&form] { form.fatalStop(QString()); });
        bindListExchange(form);
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        const std::string programDir
            = characterFolder(fileNameBytes(QDir::cleanPath(QCoreApplication::applicationDirPath())));
        if (!form.startUp(std::move(session), programDir))
            return 0;
        form.showMain();
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), failureText(e));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ignoreFileSizeSignal();
    // Decided before any Qt application object exists: the command needs no display and no platform plugin.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const TCommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.error.empty() && !mayHoldQtOptions(arguments))
        return refuse(commandLine);
    switch (commandLine.error.empty() ? commandLine.action : TCommandLine::TAction::Window) {
    case TCommandLine::TAction::Help:
        std::fputs(usageText("vantrel").c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::fputs(versionText().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Check:
        return runHeadlessCheck(commandLine);
    case TCommandLine::TAction::History:
    case TCommandLine::TAction::Diff:
    case TCommandLine::TAction::PageText:
        return runHistoryCommand(commandLine);
    case TCommandLine::TAction::Window:
        break;
    }
    return runWindow(argc, argv);
}
