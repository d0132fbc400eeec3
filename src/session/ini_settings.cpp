#include "session/ini_settings.h"

#include "check/check_run.h"
#include "history/history_store.h"
#include "platform/safe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <exception>

namespace {

const QString ConcurrentChecksKey = QStringLiteral("ConcurrentChecks");
const QString CheckIntervalKey = QStringLiteral("CheckInterval");
const QString CheckAtStartKey = QStringLiteral("CheckAtStart");
const QString WindowGeometryKey = QStringLiteral("WindowGeometry");
const QString HistoryDepthKey = QStringLiteral("HistoryDepth");

} // namespace

int TIniSettings::boundedCheckInterval(int minutes)
{
    return minutes <= 0 ? 0 : std::clamp(minutes, MinCheckInterval, MaxCheckInterval);
}

void TIniSettings::read(const std::string& path)
{
    m_values.clear();
    const QString file = QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    if (!QFileInfo(file).isReadable())
        return;
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return;
    for (const QString& key : settings.allKeys())
        m_values.insert(key, settings.value(key));
}

void TIniSettings::write(const std::string& path) const
{
    // QSettings writes in place; it serialises into a folder of our own and the bytes go over with the safe write.
    QTemporaryDir folder;
    if (!folder.isValid())
        return;
    const QString image = folder.filePath(QStringLiteral("image.ini"));
    {
        QSettings settings(image, QSettings::IniFormat);
        for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return;
    }
    QFile file(image);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    try {
        writeFileSafely(path, bytes.constData(), static_cast<size_t>(bytes.size()));
    } catch (const std::exception&) {
        // As with vantrel.cfg: the program is ending, and the old file stays as it was.
    }
}

int TIniSettings::concurrentChecks() const
{
    bool ok = false;
    const int count = m_values.value(ConcurrentChecksKey).toInt(&ok);
    return ok && count >= 1 && count <= static_cast<int>(TCheckRun::MaxConcurrent) ? count : FactoryConcurrentChecks;
}

void TIniSettings::setConcurrentChecks(int count)
{
    m_values.insert(ConcurrentChecksKey, count);
}

int TIniSettings::checkInterval() const
{
    bool ok = false;
    const int minutes = m_values.value(CheckIntervalKey).toInt(&ok);
    return ok ? boundedCheckInterval(minutes) : 0;
}

void TIniSettings::setCheckInterval(int minutes)
{
    m_values.insert(CheckIntervalKey, minutes);
}

bool TIniSettings::checkAtStart() const
{
    // Only what a hand would write for yes; anything else leaves the factory value, off.
    const QString text = m_values.value(CheckAtStartKey).toString().trimmed().toLower();
    return text == QStringLiteral("true") || text == QStringLiteral("1");
}

void TIniSettings::setCheckAtStart(bool on)
{
    m_values.insert(CheckAtStartKey, on);
}

int TIniSettings::historyDepth() const
{
    bool ok = false;
    const int depth = m_values.value(HistoryDepthKey).toInt(&ok);
    return ok ? std::clamp(depth, THistoryStore::MinDepth, THistoryStore::MaxDepth) : THistoryStore::DefaultDepth;
}

QByteArray TIniSettings::windowGeometry() const
{
    return m_values.value(WindowGeometryKey).toByteArray();
}

void TIniSettings::setWindowGeometry(const QByteArray& geometry)
{
    m_values.insert(WindowGeometryKey, geometry);
}
