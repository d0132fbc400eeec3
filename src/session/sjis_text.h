#pragma once

#include <QString>

#include <string>

// Items and settings hold Shift_JIS bytes; text meets a widget only through these two functions,
// which use the Windows Shift_JIS code page.
QString fromSjis(const std::string& bytes);
std::string toSjis(const QString& text);

// File names are bytes in the file system's own code; these two convert them for Qt and back.
std::string fileNameBytes(const QString& name);
QString fileNameText(const std::string& bytes);

// The characters of `text` that Shift_JIS cannot hold, each once, in order of appearance; empty when all fit.
QString unstorableCharacters(const QString& text);
