#include "session/sjis_text.h"

#include <QFile>

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char* CodePage = "windows-31j";

} // namespace

QString fromSjis(const std::string& bytes)
{
    QStringDecoder decoder(CodePage);
    return decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string toSjis(const QString& text)
{
    QStringEncoder encoder(CodePage);
    const QByteArray bytes = encoder(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString unstorableCharacters(const QString& text)
{
    QString result;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, length);
        QStringEncoder encoder(CodePage);
        const QByteArray bytes = encoder(one);
        if ((encoder.hasError() || fromSjis(std::string(bytes.constData(), static_cast<size_t>(bytes.size()))) != one)
            && !result.contains(one))
            result += one;
        i += length;
    }
    return result;
}

std::string fileNameBytes(const QString& name)
{
    const QByteArray bytes = QFile::encodeName(name);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString fileNameText(const std::string& bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}
