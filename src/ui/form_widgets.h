#pragma once

#include <QFont>
#include <QMargins>
#include <QString>

#include <initializer_list>
#include <string>
#include <utility>

class QBoxLayout;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// The dialogs' design font: "ＭＳ ゴシック" 13 pixels high, substituted by an installed CJK gothic.
QFont designFont(int pixelSize = 13, bool bold = false);

// Fills an edit from a Shift_JIS text and remembers the bytes, so that an untouched field is stored exactly
// as it came even when its bytes do not survive a round trip through the screen's text.
void setEditText(QLineEdit* edit, const std::string& text);
// Text of an edit as stored: leading and trailing spaces and control characters removed, then Shift_JIS.
std::string editText(const QLineEdit* edit);
// True while the edit still shows exactly what setEditText put there.
bool editUntouched(const QLineEdit* edit);

// Leading and trailing spaces and control characters removed.
QString trimmedText(const QString& text);
// A typed text as stored: Shift_JIS, with "?" for each character that Shift_JIS cannot hold.
std::string storedText(const QString& text);

// An edit for addresses, names and numbers: the input method is of no use there.
QLineEdit* plainEdit(const QString& objectName, QWidget* parent);
QLineEdit* readOnlyEdit(const QString& objectName, QWidget* parent);
QLabel* buddyLabel(const QString& objectName, const QString& text, QWidget* buddy, QWidget* parent);
QCheckBox* checkBox(const QString& objectName, const QString& text, QWidget* parent);
QGroupBox* groupBox(const QString& objectName, const QString& title, QWidget* parent);

// One widget of a group box's grid: its cell, its span and how it sits in the cell.
struct TGridCell
{
    QWidget* widget;
    int row;
    int column;
    int rowSpan = 1;
    int columnSpan = 1;
    Qt::Alignment alignment = {};
};
// What a group box's grid looks like apart from its cells: the margins, the vertical spacing (the style's when
// negative) and the stretch factor of each column that grows, as (column, stretch).
struct TGridShape
{
    QMargins margins;
    int verticalSpacing = -1;
    std::initializer_list<std::pair<int, int>> columnStretches;
};
// Lays the cells out in a grid in `box`, which then goes to the end of `layout`.
QGridLayout* layOutGroupBox(
    QGroupBox* box, QBoxLayout* layout, const TGridShape& shape, std::initializer_list<TGridCell> cells);
