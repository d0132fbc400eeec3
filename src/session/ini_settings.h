#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <string>

// The settings that vantrel.cfg has no room for, kept beside it in vantrel.ini: INI text in UTF-8 with a
// [General] group. Keys this version does not know are kept as read and written back.
class TIniSettings
{
public:
    static constexpr int FactoryConcurrentChecks = 4;
    static constexpr int MinCheckInterval = 5;
    static constexpr int MaxCheckInterval = 1440;

    // Minutes between timed runs: 0 and below for none; 1 to 4 become 5, more than 1440 becomes 1440.
    static int boundedCheckInterval(int minutes);

    // Never fails: a missing or unreadable file leaves the factory values.
    void read(const std::string& path);
    // Writes every key through the safe write; a file that cannot be written is ignored, as the settings
    // file's is.
    void write(const std::string& path) const;

    // 1 to 16; a value outside that range or no number reads as the factory value.
    int concurrentChecks() const;
    void setConcurrentChecks(int count);
    // Minutes between timed runs: 0 (none) when missing, no number or not above 0; otherwise brought into
    // 5 to 1440.
    int checkInterval() const;
    void setCheckInterval(int minutes);
    bool checkAtStart() const;
    void setCheckAtStart(bool on);
    // Kept versions of each item's page text: 2 to 1000; missing or no number gives 50, others are clamped.
    int historyDepth() const;

    // The window's size and position as the window saves them; empty when none was kept.
    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);

    const QVariantMap& values() const { return m_values; }

private:
    QVariantMap m_values; // keys of [General] by their own name, others as "group/key"
};
